#include "render/GlfInterpreter.h"

#include "render/PlotterUnits.h"

#include <algorithm>
#include <cmath>

namespace kesto::render {

namespace {

// Dash elements on one segment at most: a pattern far finer than the
// segment is long would otherwise never end.
constexpr int kMaxDashElements = 1'000'000;

bool same(Point a, Point b) {
    return a.x == b.x && a.y == b.y;
}

} // namespace

// The fixed line types 1 to 6 as pen-down / pen-up lengths in percent of the
// pattern length, starting with pen down.  Zero pen-down lengths are dots.
struct DashPattern {
    int count;
    double parts[6];
};
constexpr DashPattern kPatterns[7] = {
    {0, {}},                       // 0: dots at the end points (handled apart)
    {2, {0, 100}},                 // 1: dots
    {2, {50, 50}},                 // 2: short dashes
    {2, {70, 30}},                 // 3: long dashes
    {4, {80, 10, 0, 10}},          // 4: dash dot
    {4, {70, 10, 10, 10}},         // 5: long and short dash
    {6, {50, 10, 10, 10, 10, 10}}, // 6: long and two short dashes
};

// ---------------------------------------------------------------- pen movement

bool GlfInterpreter::drawingAllowed() {
    if (stopAtFirstMark_) {
        stopped_ = true;
        return false;
    }
    if (sheetEnded_) {
        ++stats_.afterPageEnd;
        return false;
    }
    return pen_ != 0;
}

void GlfInterpreter::moveList(bool relative) {
    double x, y;
    while (!stopped_ && !cancelled() && in_.readNumber(x)) {
        if (!in_.readNumber(y)) {
            ++stats_.badParameters;
            break;
        }
        const Point target = relative ? Point{pos_.x + x, pos_.y + y} : Point{x, y};
        plot(target, penDown_);
    }
}

void GlfInterpreter::plot(Point target, bool down) {
    // The pen's place on the plotter is kept from the last move.
    const Point a = same(pos_, lastUser_) ? lastPlotter_ : toPlotter(pos_);
    const Point b = toPlotter(target);
    // One by one from the local: a chained copy of the members stalls on
    // the stores just made.
    pos_ = target;
    lastUser_ = target;
    lastPlotter_ = b;
    if (polygonMode_) {
        polygonPoint(b, down);
        return;
    }
    if (!down) {
        flushPath();
        resetDash();
        return;
    }
    if (same(a, b)) {
        if (path_.empty()) dot(a);
        return;
    }
    // The usual case, a solid line going on from the path's end: what lineTo
    // and dashedSegment would do, without their calls.
    if ((lineType_ == kSolid || !dashes_) && !path_.empty() && same(path_.back(), a) &&
        path_.size() + 1 < kPathChunk) {
        path_.push_back(b);
        return;
    }
    lineTo(a);
    dashedSegment(a, b);
}

// Starts a path at `a` unless the path already ends there.
void GlfInterpreter::lineTo(Point a) {
    if (!path_.empty() && same(path_.back(), a)) return;
    flushPath();
    path_.push_back(a);
}

void GlfInterpreter::flushPath() {
    if (path_.size() >= 2 && drawingAllowed()) out_.stroke(pen_, path_.data(), path_.size());
    path_.clear();
}

void GlfInterpreter::dot(Point at) {
    flushPath();
    if (drawingAllowed()) out_.stroke(pen_, &at, 1);
}

void GlfInterpreter::resetDash() {
    dashPhase_ = -1; // before the first element
    dashOn_ = false;
}

// The segment a-b with the current line type; the path is open at `a`.
void GlfInterpreter::dashedSegment(Point a, Point b) {
    const auto append = [&](Point p) {
        path_.push_back(p);
        if (path_.size() >= kPathChunk) {
            const Point last = path_.back();
            flushPath();
            path_.push_back(last);
        }
    };
    if (lineType_ == kSolid || !dashes_) {
        append(b);
        return;
    }
    if (lineType_ == 0) { // dots at the end points only
        path_.clear();
        dot(a);
        dot(b);
        return;
    }
    const double length = std::hypot(b.x - a.x, b.y - a.y);
    const double patternLength = patternPercent_ / 100 * diagonal();
    if (patternLength < 0.5 || length / patternLength > 100000) {
        append(b);
        return;
    }
    const DashPattern& pattern = kPatterns[lineType_];
    const double ux = (b.x - a.x) / length, uy = (b.y - a.y) / length;
    // Dashes are made only where they can show: the pattern is passed over
    // elsewhere (a segment far off the sheet would be millions of them).
    double t = 0, end = length;
    if (!visibleSpan(a, b, t, end)) {
        flushPath();
        skipDashes(length, pattern, patternLength);
        return;
    }
    if (t > 0) {
        flushPath();
        skipDashes(t, pattern, patternLength);
        if (dashOn_ && dashPhase_ > 0) lineTo({a.x + ux * t, a.y + uy * t});
    }
    for (int guard = 0; guard < kMaxDashElements; ++guard) {
        if (dashPhase_ <= 0) {
            // Next element.
            if (dashPhase_ < 0) {
                elementIndex_ = 0;
            } else {
                elementIndex_ = (elementIndex_ + 1) % pattern.count;
            }
            dashOn_ = elementIndex_ % 2 == 0;
            dashPhase_ = pattern.parts[elementIndex_] / 100 * patternLength;
            const Point here{a.x + ux * t, a.y + uy * t};
            if (dashOn_ && dashPhase_ == 0) {
                dot(here);
                dashPhase_ = 0; // go on to the gap
                continue;
            }
            if (!dashOn_) {
                flushPath();
            } else {
                lineTo(here);
            }
        }
        const double step = std::min(dashPhase_, end - t);
        if (step <= 0) break;
        t += step;
        dashPhase_ -= step;
        if (dashOn_) append({a.x + ux * t, a.y + uy * t});
        if (t >= end) break;
        if (dashPhase_ <= 0) dashPhase_ = 0;
    }
    if (end < length) {
        flushPath();
        skipDashes(length - end, pattern, patternLength);
    }
}

// The part [from, to] of a-b (distances from a) inside the area the dashes
// are limited to; false when none of it is.
bool GlfInterpreter::visibleSpan(Point a, Point b, double& from, double& to) const {
    const double length = to;
    from = 0;
    if (!hasDashArea_) return true;
    const double dx = (b.x - a.x) / length, dy = (b.y - a.y) / length;
    const auto keep = [&](double p, double q) { // the part with p * t <= q
        if (p == 0) return q >= 0;
        const double t = q / p;
        if (p < 0) {
            from = std::max(from, t);
        } else {
            to = std::min(to, t);
        }
        return from <= to;
    };
    return keep(-dx, a.x - dashArea_.left) && keep(dx, dashArea_.right - a.x) &&
           keep(-dy, a.y - dashArea_.bottom) && keep(dy, dashArea_.top - a.y);
}

// Moves the pattern on by `distance` without drawing.
void GlfInterpreter::skipDashes(double distance, const DashPattern& pattern, double patternLength) {
    if (dashPhase_ < 0) {
        elementIndex_ = 0;
        dashOn_ = true;
        dashPhase_ = pattern.parts[0] / 100 * patternLength;
    }
    if (distance <= dashPhase_) {
        dashPhase_ -= distance;
        return;
    }
    distance = std::fmod(distance - dashPhase_, patternLength);
    for (int i = 0; i < 2 * pattern.count; ++i) {
        elementIndex_ = (elementIndex_ + 1) % pattern.count;
        const double part = pattern.parts[elementIndex_] / 100 * patternLength;
        dashOn_ = elementIndex_ % 2 == 0;
        if (distance < part) {
            dashPhase_ = part - distance;
            return;
        }
        distance -= part;
    }
    dashPhase_ = 0;
}

void GlfInterpreter::arc(Point centre, double sweep, double chord) {
    if (!std::isfinite(sweep)) return;
    if (std::fabs(sweep) > 360) {
        ++stats_.badParameters;
        sweep = std::clamp(sweep, -360.0, 360.0);
    }
    chord = std::fabs(chord);
    if (!(chord >= 0.5)) chord = 0.5;
    if (chord > 180) chord = 180;
    const double r = std::hypot(pos_.x - centre.x, pos_.y - centre.y);
    if (r == 0 || sweep == 0) {
        plot(pos_, penDown_);
        return;
    }
    const double a0 = std::atan2(pos_.y - centre.y, pos_.x - centre.x);
    const int n = std::max(1, static_cast<int>(std::ceil(std::fabs(sweep) / chord - 1e-9)));
    // Chord ends by rotating the radius step by step; the last one exactly.
    const double step = sweep / n * kPi / 180;
    const double c = std::cos(step), s = std::sin(step);
    double dx = pos_.x - centre.x, dy = pos_.y - centre.y;
    for (int i = 1; i < n && !stopped_; ++i) {
        const double nx = dx * c - dy * s;
        dy = dx * s + dy * c;
        dx = nx;
        plot({centre.x + dx, centre.y + dy}, penDown_);
    }
    const double end = a0 + sweep * kPi / 180;
    plot({centre.x + r * std::cos(end), centre.y + r * std::sin(end)}, penDown_);
}

void GlfInterpreter::circle(double radius, double chord) {
    chord = std::fabs(chord);
    if (!(chord >= 0.5)) chord = 0.5;
    if (chord > 180) chord = 180;
    const int n = std::max(3, static_cast<int>(std::ceil(360 / chord - 1e-9)));
    const Point centre = pos_;
    std::vector<Point> ring;
    ring.reserve(n + 1);
    for (int i = 0; i <= n; ++i) {
        const double a = 2 * kPi * i / n;
        ring.push_back(
            toPlotter({centre.x + radius * std::cos(a), centre.y + radius * std::sin(a)}));
    }
    if (polygonMode_) {
        polygonCircle(ring);
        return;
    }
    flushPath();
    resetDash();
    lineTo(ring[0]);
    for (std::size_t i = 1; i < ring.size(); ++i)
        dashedSegment(ring[i - 1], ring[i]);
    flushPath();
    resetDash();
}

} // namespace kesto::render
