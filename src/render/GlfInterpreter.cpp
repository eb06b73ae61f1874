#include "render/GlfInterpreter.h"

#include "render/PlotterUnits.h"

#include <algorithm>
#include <cmath>

namespace kesto::render {

GlfInterpreter::GlfInterpreter(PlotSurface& surface, const Rect& sheet)
    : out_(surface), defaultSheet_(sheet) {
    p1_ = {sheet.left, sheet.bottom};
    p2_ = {sheet.right, sheet.top};
    defaults();
    path_.reserve(kPathChunk + 1);
}

Rect GlfInterpreter::p1p2() const {
    return {std::min(p1_.x, p2_.x), std::min(p1_.y, p2_.y), std::max(p1_.x, p2_.x),
            std::max(p1_.y, p2_.y)};
}

bool GlfInterpreter::run(GlfInput& input) {
    in_.start(input);
    stopped_ = false;
    while (!stopped_ && !cancelled()) {
        const int next = in_.nextCommand();
        if (next < 0) break;
        command(next);
    }
    flushPath();
    in_.finish();
    return !stats_.readError;
}

// ---------------------------------------------------------------- commands

void GlfInterpreter::command(int code) {
    ++stats_.commands;
    switch (code) {
    case mnemonic('I', 'N'): initialize(); break;
    case mnemonic('D', 'F'): setDefaults(); break;
    case mnemonic('I', 'P'): inputP1P2(); break;
    case mnemonic('S', 'C'): scale(); break;
    case mnemonic('I', 'W'): inputWindow(); break;
    case mnemonic('S', 'P'): selectPen(); break;
    case mnemonic('L', 'T'): lineType(); break;
    case mnemonic('P', 'U'): penUp(); break;
    case mnemonic('P', 'D'): penDown(); break;
    case mnemonic('P', 'A'): plotAbsolute(); break;
    case mnemonic('P', 'R'): plotRelative(); break;
    case mnemonic('A', 'A'): arcCommand(false); break;
    case mnemonic('A', 'R'): arcCommand(true); break;
    case mnemonic('C', 'I'): circleCommand(); break;
    case mnemonic('P', 'M'): polygonMode(); break;
    case mnemonic('F', 'P'): fillPolygonCommand(); break;
    case mnemonic('E', 'P'): edgePolygonCommand(); break;
    case mnemonic('S', 'I'): absoluteSize(); break;
    case mnemonic('S', 'R'): relativeSize(); break;
    case mnemonic('D', 'I'): direction(); break;
    case mnemonic('D', 'V'): directionVertical(); break;
    case mnemonic('E', 'S'): extraSpace(); break;
    case mnemonic('S', 'L'): slant(); break;
    case mnemonic('C', 'S'): standardSet(); break;
    case mnemonic('C', 'A'): alternateSet(); break;
    case mnemonic('S', 'S'): selectStandard(); break;
    case mnemonic('S', 'A'): selectAlternate(); break;
    case mnemonic('D', 'T'): defineTerminator(); break;
    case mnemonic('L', 'B'): label(); break;
    case mnemonic('A', 'F'):
    case mnemonic('P', 'G'):
    case mnemonic('A', 'H'): endSheet(); break;
    default: unknownCommand(code); break;
    }
}

void GlfInterpreter::initialize() {
    in_.skipParameters();
    flushPath();
    p1_ = {defaultSheet_.left, defaultSheet_.bottom};
    p2_ = {defaultSheet_.right, defaultSheet_.top};
    defaults();
    pos_ = {};
    penDown_ = false;
}

void GlfInterpreter::setDefaults() {
    in_.skipParameters();
    flushPath();
    defaults();
}

void GlfInterpreter::inputP1P2() {
    const std::vector<double>& p = in_.readParameters(4);
    if (p.empty()) {
        p1_ = {defaultSheet_.left, defaultSheet_.bottom};
        p2_ = {defaultSheet_.right, defaultSheet_.top};
    } else if (p.size() == 2) {
        const Point d{p2_.x - p1_.x, p2_.y - p1_.y};
        p1_ = {p[0], p[1]};
        p2_ = {p1_.x + d.x, p1_.y + d.y};
    } else if (p.size() == 4 && p[0] != p[2] && p[1] != p[3]) {
        p1_ = {p[0], p[1]};
        p2_ = {p[2], p[3]};
    } else {
        ++stats_.badParameters;
        return;
    }
    sawIp_ = true;
    scalingChanged();
}

void GlfInterpreter::scale() {
    const std::vector<double>& p = in_.readParameters(4);
    if (p.empty()) {
        scaled_ = false;
    } else if (p.size() == 4 && p[0] != p[1] && p[2] != p[3]) {
        xmin_ = p[0];
        xmax_ = p[1];
        ymin_ = p[2];
        ymax_ = p[3];
        scaled_ = true;
    } else {
        ++stats_.badParameters;
    }
    scalingChanged();
}

void GlfInterpreter::inputWindow() {
    const std::vector<double>& p = in_.readParameters(4);
    flushPath();
    if (p.size() == 4) {
        const Point lo = toPlotter({p[0], p[1]});
        const Point hi = toPlotter({p[2], p[3]});
        window_ = {std::min(lo.x, hi.x), std::min(lo.y, hi.y), std::max(lo.x, hi.x),
                   std::max(lo.y, hi.y)};
        hasWindow_ = true;
    } else {
        if (!p.empty()) ++stats_.badParameters;
        hasWindow_ = false;
    }
    applyWindow();
}

void GlfInterpreter::selectPen() {
    const std::vector<double>& p = in_.readParameters(1);
    flushPath();
    resetDash();
    if (p.empty()) {
        pen_ = 0;
    } else if (p[0] >= 0 && p[0] < 256) {
        pen_ = static_cast<int>(p[0]);
    } else {
        ++stats_.badParameters;
    }
}

void GlfInterpreter::lineType() {
    const std::vector<double>& p = in_.readParameters(2);
    flushPath();
    if (p.empty()) {
        lineType_ = kSolid;
    } else if (std::fabs(p[0]) <= 6) {
        lineType_ = static_cast<int>(std::fabs(p[0]));
        patternPercent_ = 4; // the plotter's default length unless one is given
        if (p.size() == 2) {
            if (p[1] > 0 && p[1] <= 100) {
                patternPercent_ = p[1];
            } else {
                ++stats_.badParameters;
            }
        }
    } else {
        ++stats_.badParameters;
    }
    resetDash();
}

void GlfInterpreter::endSheet() {
    in_.skipParameters();
    flushPath();
    sheetEnded_ = true;
    stats_.sheetEnded = true;
}

void GlfInterpreter::unknownCommand(int code) {
    ++stats_.unknownCommands;
    if (stats_.firstUnknown.empty())
        stats_.firstUnknown = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
    in_.skipParameters();
}

void GlfInterpreter::defaults() {
    scaled_ = false;
    scalingChanged();
    hasWindow_ = false;
    applyWindow();
    relative_ = false;
    lineType_ = kSolid;
    patternPercent_ = 4;
    resetDash();
    polygonMode_ = false;
    ringPending_ = false;
    polygon_.clear();
    resetCharacterState();
}

// ---------------------------------------------------------------- pen commands

void GlfInterpreter::penUp() {
    penDown_ = false;
    flushPath();
    resetDash();
    moveList(relative_);
}

void GlfInterpreter::penDown() {
    penDown_ = true;
    moveList(relative_);
}

void GlfInterpreter::plotAbsolute() {
    relative_ = false;
    moveList(false);
}

void GlfInterpreter::plotRelative() {
    relative_ = true;
    moveList(true);
}

void GlfInterpreter::arcCommand(bool relative) {
    const std::vector<double>& p = in_.readParameters(4);
    if (p.size() < 3) {
        ++stats_.badParameters;
        return;
    }
    Point centre{p[0], p[1]};
    if (relative) centre = {pos_.x + centre.x, pos_.y + centre.y};
    arc(centre, p[2], p.size() == 4 ? p[3] : 5);
}

void GlfInterpreter::circleCommand() {
    const std::vector<double>& p = in_.readParameters(2);
    if (p.empty()) {
        ++stats_.badParameters;
        return;
    }
    circle(p[0], p.size() == 2 ? p[1] : 5);
}

// ---------------------------------------------------------------- polygon commands

// PM0 starts the buffer at the pen; PM1 closes a sub-polygon (the move after
// it starts the next one and is no side); PM2 closes the polygon and leaves
// polygon mode.  PM1 and PM2 outside polygon mode are ignored: the plotter
// keeps the buffer it holds for a later FP or EP.
void GlfInterpreter::polygonMode() {
    const std::vector<double>& p = in_.readParameters(1);
    flushPath();
    resetDash();
    const int mode = p.empty() ? 0 : static_cast<int>(p[0]);
    if (mode == 0) {
        polygon_.clear();
        overflowReported_ = false;
        polygonMode_ = true;
        ringPending_ = false;
        polygon_.startRing(toPlotter(pos_));
    } else if (mode != 1 && mode != 2) {
        ++stats_.badParameters;
    } else if (!polygonMode_) {
        ++stats_.polygonModeOutside;
    } else {
        if (!ringPending_) closeRing();
        ringPending_ = mode == 1;
        polygonMode_ = mode == 1;
    }
}

void GlfInterpreter::fillPolygonCommand() {
    const std::vector<double>& p = in_.readParameters(1);
    flushPath();
    fillPolygon(p.empty() || p[0] != 1);
}

void GlfInterpreter::edgePolygonCommand() {
    in_.skipParameters();
    flushPath();
    edgePolygon();
}

// ---------------------------------------------------------------- coordinates

double GlfInterpreter::diagonal() const {
    return std::hypot(p2_.x - p1_.x, p2_.y - p1_.y);
}

void GlfInterpreter::applyWindow() {
    out_.setClip(hasWindow_ ? &window_ : nullptr);
}

} // namespace kesto::render
