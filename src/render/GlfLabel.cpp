#include "render/GlfInterpreter.h"

#include "render/CharacterSets.h"
#include "render/PlotterUnits.h"

#include <algorithm>
#include <cmath>

namespace kesto::render {

namespace {

constexpr double kDefaultCharW = 0.19 * kUnitsPerCm;
constexpr double kDefaultCharH = 0.27 * kUnitsPerCm;

} // namespace

// ---------------------------------------------------------------- character commands

void GlfInterpreter::absoluteSize() {
    const std::vector<double>& p = in_.readParameters(2);
    if (p.size() == 2) {
        charW_ = p[0] * kUnitsPerCm;
        charH_ = p[1] * kUnitsPerCm;
    } else {
        if (!p.empty()) ++stats_.badParameters;
        charW_ = kDefaultCharW;
        charH_ = kDefaultCharH;
    }
}

void GlfInterpreter::relativeSize() {
    const std::vector<double>& p = in_.readParameters(2);
    const double w = p.size() == 2 ? p[0] : 0.75;
    const double h = p.size() == 2 ? p[1] : 1.5;
    charW_ = w / 100 * std::fabs(p2_.x - p1_.x);
    charH_ = h / 100 * std::fabs(p2_.y - p1_.y);
}

void GlfInterpreter::direction() {
    const std::vector<double>& p = in_.readParameters(2);
    if (p.size() == 2 && (p[0] != 0 || p[1] != 0)) {
        const double len = std::hypot(p[0], p[1]);
        runX_ = p[0] / len;
        runY_ = p[1] / len;
    } else if (p.empty()) {
        runX_ = 1;
        runY_ = 0;
    } else {
        ++stats_.badParameters;
    }
}

void GlfInterpreter::directionVertical() {
    const std::vector<double>& p = in_.readParameters(2);
    vertical_ = !p.empty() && p[0] == 1;
}

void GlfInterpreter::extraSpace() {
    const std::vector<double>& p = in_.readParameters(2);
    extraSpaces_ = p.empty() ? 0 : p[0];
    extraLines_ = p.size() > 1 ? p[1] : 0;
}

void GlfInterpreter::slant() {
    const std::vector<double>& p = in_.readParameters(1);
    slant_ = p.empty() ? 0 : std::clamp(p[0], -100.0, 100.0);
}

void GlfInterpreter::standardSet() {
    const std::vector<double>& p = in_.readParameters(1);
    standardSet_ = p.empty() ? 0 : static_cast<int>(p[0]);
}

void GlfInterpreter::alternateSet() {
    const std::vector<double>& p = in_.readParameters(1);
    alternateSet_ = p.empty() ? 0 : static_cast<int>(p[0]);
}

void GlfInterpreter::selectStandard() {
    in_.skipParameters();
    alternateSelected_ = false;
}

void GlfInterpreter::selectAlternate() {
    in_.skipParameters();
    alternateSelected_ = true;
}

void GlfInterpreter::defineTerminator() {
    const int t = in_.get();
    if (t < 0 || t == ';') {
        terminator_ = 3;
    } else {
        terminator_ = static_cast<char>(t);
        in_.skipParameters();
    }
}

void GlfInterpreter::resetCharacterState() {
    charW_ = kDefaultCharW;
    charH_ = kDefaultCharH;
    runX_ = 1;
    runY_ = 0;
    vertical_ = false;
    extraSpaces_ = extraLines_ = 0;
    slant_ = 0;
    standardSet_ = alternateSet_ = 0;
    alternateSelected_ = false;
    terminator_ = 3;
}

// ---------------------------------------------------------------- labels

void GlfInterpreter::labelAdvance(double cells, double lines) {
    const double cell = 1.5 * charW_ * (1 + extraSpaces_);
    const double line = 2 * charH_ * (1 + extraLines_);
    const double px = -runY_, py = runX_; // up in the character frame
    if (vertical_) {
        labelPos_.x -= px * cells * 1.5 * charH_ * (1 + extraSpaces_);
        labelPos_.y -= py * cells * 1.5 * charH_ * (1 + extraSpaces_);
    } else {
        labelPos_.x += runX_ * cells * cell;
        labelPos_.y += runY_ * cells * cell;
    }
    if (lines != 0) {
        labelLineStart_.x -= px * lines * line;
        labelLineStart_.y -= py * lines * line;
        labelPos_ = labelLineStart_;
    }
}

void GlfInterpreter::labelCharacter(char32_t code, GlyphWidth width) {
    if (code == 0) {
        ++stats_.undecodable;
    } else if (code != U' ' && drawingAllowed()) {
        Glyph g;
        g.code = code;
        g.width = width;
        g.origin = labelPos_;
        g.along = {runX_, runY_};
        g.w = charW_;
        g.h = charH_;
        g.slant = slant_;
        out_.glyph(pen_, g);
        ++stats_.characters;
    }
    labelAdvance(1, 0);
}

void GlfInterpreter::label() {
    flushPath();
    resetDash();
    labelPos_ = toPlotter(pos_);
    labelLineStart_ = labelPos_;
    const unsigned char terminator = static_cast<unsigned char>(terminator_);
    for (;;) {
        const int c = in_.get();
        if (c < 0) {
            stats_.endsInLabel = true;
            break;
        }
        if (c == terminator) break;
        if (stopped_) continue; // read to the terminator, draw nothing
        switch (c) {
        case '\r': labelPos_ = labelLineStart_; continue;
        case '\n': labelAdvance(0, 1); continue;
        case '\b': labelAdvance(-1, 0); continue;
        case 0x0E: alternateSelected_ = true; continue;
        case 0x0F: alternateSelected_ = false; continue;
        default: break;
        }
        if (c < 0x20) continue;
        const int set = alternateSelected_ ? alternateSet_ : standardSet_;
        if (isKanjiSet(set) && c >= 0x21 && c <= 0x7E) {
            const int cell = in_.get();
            if (cell < 0) {
                stats_.endsInLabel = true;
                ++stats_.undecodable;
                break;
            }
            if (cell == terminator) {
                ++stats_.undecodable;
                break;
            }
            labelCharacter(
                kanjiSetCharacter(static_cast<unsigned char>(c), static_cast<unsigned char>(cell)),
                GlyphWidth::Full);
        } else {
            labelCharacter(isKanjiSet(set)
                               ? (c == ' ' ? U' ' : 0)
                               : standardSetCharacter(set, static_cast<unsigned char>(c)),
                           GlyphWidth::Half);
        }
    }
    // The pen stays where the next character would go.
    if (scaled_) {
        pos_ = {xmin_ + (labelPos_.x - p1_.x) / (p2_.x - p1_.x) * (xmax_ - xmin_),
                ymin_ + (labelPos_.y - p1_.y) / (p2_.y - p1_.y) * (ymax_ - ymin_)};
    } else {
        pos_ = labelPos_;
    }
}

} // namespace kesto::render
