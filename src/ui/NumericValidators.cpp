#include "ui/NumericValidators.h"

namespace kesto {

QString asciiDigits(QString text) {
    for (QChar& c : text) {
        const char16_t u = c.unicode();
        if (u >= u'０' && u <= u'９')
            c = QChar(u'0' + (u - u'０'));
        else if (u == u'－' || u == u'−')
            c = QChar(u'-');
        else if (u == u'＋')
            c = QChar(u'+');
        else if (u == u'．')
            c = QChar(u'.');
    }
    return text;
}

QValidator::State DigitsValidator::validate(QString& input, int&) const {
    refusedCharacter_ = false;
    if (input == allowed_) return Acceptable;
    input = asciiDigits(input);
    for (QChar c : input)
        if (c < QChar('0') || c > QChar('9')) {
            refusedCharacter_ = true;
            return Invalid;
        }
    // Longer than may be typed: only what is left of a longer text the
    // program put there.
    if (input.size() > maxTyped_ && input.size() >= allowed_.size()) return Invalid;
    return Acceptable;
}

QValidator::State DecimalValidator::validate(QString& input, int&) const {
    input = asciiDigits(input);
    bool digits = false;
    bool point = false;
    for (qsizetype i = 0; i < input.size(); ++i) {
        const QChar c = input[i];
        if (c >= QChar('0') && c <= QChar('9')) {
            digits = true;
        } else if (c == QChar('.') && !point) {
            point = true;
        } else if ((c == QChar('-') || c == QChar('+')) && i == 0) {
        } else {
            return Invalid;
        }
    }
    return digits ? Acceptable : Intermediate;
}

} // namespace kesto
