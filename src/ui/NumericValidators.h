#pragma once
// What the window's typed numeric fields accept, whatever way the text comes
// in: key presses, an input method's commit, paste, drops.  Full-width digits
// (as a Japanese input method types them) become ASCII digits.

#include <QValidator>

namespace kesto {

// ASCII digits only, at most `maxTyped` of them.  A longer text put into the
// field by the program (a value read from Kesto.sys) stays as it is; typing
// can only shorten it.
class DigitsValidator : public QValidator {
    Q_OBJECT
public:
    DigitsValidator(int maxTyped, QObject* parent) : QValidator(parent), maxTyped_(maxTyped) {}
    State validate(QString& input, int& pos) const override;
    // The program is about to put `text` into the field (a value read from
    // the file, a label's choice): it counts as valid, and digits may be
    // taken away from it even when it is longer than may be typed.
    void allow(const QString& text) { allowed_ = text; }
    // Whether the last refusal was for a character that is no digit (rather
    // than for the length): only that is worth a beep.
    bool refusedACharacter() const { return refusedCharacter_; }

private:
    int maxTyped_;
    QString allowed_;
    mutable bool refusedCharacter_ = false;
};

// A decimal number: optional sign, digits, at most one point.  The beginning
// of one ("", "-", "-.") is accepted while typing.
class DecimalValidator : public QValidator {
    Q_OBJECT
public:
    explicit DecimalValidator(QObject* parent) : QValidator(parent) {}
    State validate(QString& input, int& pos) const override;
};

// Full-width digits, sign, and point in `text` replaced by their ASCII forms.
QString asciiDigits(QString text);

} // namespace kesto
