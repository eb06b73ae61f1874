#include "render/GlfInterpreter.h"

#include "render/CharacterSets.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace kesto::render {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kUnitsPerCm = 400;      // plotter units of 0.025 mm
constexpr double kMaxValue = 1e9;        // beyond any plotter's range
constexpr std::size_t kPathChunk = 8192; // points handed over at a time
constexpr std::size_t kMaxPolygonPoints = 4'000'000;
constexpr int kSolid = -100;
constexpr double kDefaultCharW = 0.19 * kUnitsPerCm;
constexpr double kDefaultCharH = 0.27 * kUnitsPerCm;

// The fixed line types 1 to 6 as pen-down / pen-up lengths in percent of the
// pattern length, starting with pen down.  Zero pen-down lengths are dots.
struct Pattern {
    int count;
    double parts[6];
};
constexpr Pattern kPatterns[7] = {
    {0, {}},                       // 0: dots at the end points (handled apart)
    {2, {0, 100}},                 // 1: dots
    {2, {50, 50}},                 // 2: short dashes
    {2, {70, 30}},                 // 3: long dashes
    {4, {80, 10, 0, 10}},          // 4: dash dot
    {4, {70, 10, 10, 10}},         // 5: long and short dash
    {6, {50, 10, 10, 10, 10, 10}}, // 6: long and two short dashes
};

bool isLetter(int c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
int upper(int c) {
    return (c >= 'a' && c <= 'z') ? c - 32 : c;
}
constexpr int mnemonic(char a, char b) {
    return (a << 8) | b;
}
bool same(Point a, Point b) {
    return a.x == b.x && a.y == b.y;
}

} // namespace

long MemoryInput::read(char* into, std::size_t size) {
    const std::size_t n = std::min(size, bytes_.size() - at_);
    std::memcpy(into, bytes_.data() + at_, n);
    at_ += n;
    return static_cast<long>(n);
}

FileInput::~FileInput() {
    if (file_) std::fclose(file_);
}

bool FileInput::open(const std::string& path) {
    if (file_) std::fclose(file_);
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_) error_ = std::strerror(errno);
    return file_ != nullptr;
}

long FileInput::read(char* into, std::size_t size) {
    if (!file_) return -1;
    const std::size_t n = std::fread(into, 1, size, file_);
    if (n == 0 && std::ferror(file_)) {
        error_ = std::strerror(errno ? errno : EIO);
        return -1;
    }
    return static_cast<long>(n);
}

bool FileInput::rewind() {
    if (!file_) return false;
    if (std::fseek(file_, 0, SEEK_SET) != 0) {
        error_ = std::strerror(errno);
        return false;
    }
    std::clearerr(file_);
    return true;
}

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

// ---------------------------------------------------------------- input

// The next byte from the buffer; refill() only when it is used up.
inline int GlfInterpreter::get() {
    if (at_ < end_) return static_cast<unsigned char>(buffer_[at_++]);
    return refill();
}

inline int GlfInterpreter::peek() {
    if (at_ < end_) return static_cast<unsigned char>(buffer_[at_]);
    const int c = refill();
    if (c >= 0) --at_;
    return c;
}

int GlfInterpreter::refill() {
    if (eof_) return -1;
    const long n = in_->read(buffer_.data(), buffer_.size());
    if (n <= 0) {
        eof_ = true;
        if (n < 0) {
            stats_.readError = true;
            stats_.readErrorText = in_->error();
        }
        return -1;
    }
    at_ = 0;
    end_ = static_cast<std::size_t>(n);
    return static_cast<unsigned char>(buffer_[at_++]);
}

// An HP-GL number: separators (spaces, commas) before it, an optional sign,
// digits with an optional decimal point.  Leaves a letter or ';' unread.
bool GlfInterpreter::readNumber(double& value) {
    int c = peek();
    while (c == ' ' || c == ',' || c == '\t' || c == '\r' || c == '\n') {
        get();
        c = peek();
    }
    if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+')) return false;
    bool negative = false;
    if (c == '-' || c == '+') {
        negative = c == '-';
        get();
        c = peek();
    }
    double v = 0;
    bool digits = false;
    int significant = 0;
    int dropped = 0;
    while (c >= '0' && c <= '9') {
        get();
        if (significant < 18) {
            v = v * 10 + (c - '0');
            if (v > 0) ++significant;
        } else {
            ++dropped;
        }
        digits = true;
        c = peek();
    }
    if (c == '.') {
        get();
        double scale = 0.1;
        c = peek();
        while (c >= '0' && c <= '9') {
            get();
            if (scale > 1e-12) v += (c - '0') * scale;
            scale /= 10;
            digits = true;
            c = peek();
        }
    }
    if (!digits) {
        ++stats_.badParameters;
        return false;
    }
    if (dropped > 0) v *= std::pow(10.0, std::min(dropped, 300));
    if (v > kMaxValue) {
        v = kMaxValue;
        ++stats_.badParameters;
    }
    value = negative ? -v : v;
    return true;
}

void GlfInterpreter::readParameters(int maxCount) {
    params_.clear();
    double v;
    while (readNumber(v)) {
        if (static_cast<int>(params_.size()) < maxCount) {
            params_.push_back(v);
        } else {
            ++stats_.badParameters;
        }
    }
}

// Skips the parameters of a command the plotter does not know: everything up
// to its ';' or the next command's letters.
void GlfInterpreter::skipParameters() {
    for (int c = peek(); c >= 0 && c != ';' && !isLetter(c); c = peek())
        get();
}

bool GlfInterpreter::run(GlfInput& input) {
    in_ = &input;
    buffer_.resize(256 * 1024);
    at_ = end_ = 0;
    eof_ = false;
    stopped_ = false;
    std::uint32_t sinceCheck = 0;
    while (!stopped_) {
        const int c = get();
        if (c < 0) break;
        if (cancel_ && ++sinceCheck % 4096 == 0 && cancelled()) break;
        if (isLetter(c)) {
            const int d = peek();
            if (isLetter(d)) {
                get();
                command(upper(c), upper(d));
            } else {
                ++stats_.skippedBytes;
            }
        } else if (c == ';' || c == ' ' || c == ',' || c == '\r' || c == '\n' || c == '\t' ||
                   c == 0) {
            continue;
        } else if (c == 0x1B) {
            // A device-control sequence of a serial plotter: ESC . letter,
            // parameters up to ':'.  Not drawing; passed over.
            ++stats_.skippedBytes;
            if (peek() == '.') {
                get();
                get();
                for (int n = 0, e = peek();
                     n < 64 && e >= 0 && ((e >= '0' && e <= '9') || e == ';'); ++n, e = peek())
                    get();
                if (peek() == ':') get();
            }
        } else {
            ++stats_.skippedBytes;
        }
    }
    flushPath();
    in_ = nullptr;
    return !stats_.readError;
}

// ---------------------------------------------------------------- commands

void GlfInterpreter::command(int a, int b) {
    ++stats_.commands;
    switch ((a << 8) | b) {
    case mnemonic('I', 'N'):
        skipParameters();
        flushPath();
        p1_ = {defaultSheet_.left, defaultSheet_.bottom};
        p2_ = {defaultSheet_.right, defaultSheet_.top};
        defaults();
        pos_ = {};
        penDown_ = false;
        break;
    case mnemonic('D', 'F'):
        skipParameters();
        flushPath();
        defaults();
        break;
    case mnemonic('I', 'P'):
        readParameters(4);
        if (params_.empty()) {
            p1_ = {defaultSheet_.left, defaultSheet_.bottom};
            p2_ = {defaultSheet_.right, defaultSheet_.top};
        } else if (params_.size() == 2) {
            const Point d{p2_.x - p1_.x, p2_.y - p1_.y};
            p1_ = {params_[0], params_[1]};
            p2_ = {p1_.x + d.x, p1_.y + d.y};
        } else if (params_.size() == 4 && params_[0] != params_[2] && params_[1] != params_[3]) {
            p1_ = {params_[0], params_[1]};
            p2_ = {params_[2], params_[3]};
        } else {
            ++stats_.badParameters;
            break;
        }
        sawIp_ = true;
        break;
    case mnemonic('S', 'C'):
        readParameters(4);
        if (params_.empty()) {
            scaled_ = false;
        } else if (params_.size() == 4 && params_[0] != params_[1] && params_[2] != params_[3]) {
            xmin_ = params_[0];
            xmax_ = params_[1];
            ymin_ = params_[2];
            ymax_ = params_[3];
            scaled_ = true;
        } else {
            ++stats_.badParameters;
        }
        break;
    case mnemonic('I', 'W'):
        readParameters(4);
        flushPath();
        if (params_.size() == 4) {
            const Point lo = toPlotter({params_[0], params_[1]});
            const Point hi = toPlotter({params_[2], params_[3]});
            window_ = {std::min(lo.x, hi.x), std::min(lo.y, hi.y), std::max(lo.x, hi.x),
                       std::max(lo.y, hi.y)};
            hasWindow_ = true;
        } else {
            if (!params_.empty()) ++stats_.badParameters;
            hasWindow_ = false;
        }
        applyWindow();
        break;
    case mnemonic('S', 'P'):
        readParameters(1);
        flushPath();
        resetDash();
        if (params_.empty()) {
            pen_ = 0;
        } else if (params_[0] >= 0 && params_[0] < 256) {
            pen_ = static_cast<int>(params_[0]);
        } else {
            ++stats_.badParameters;
        }
        break;
    case mnemonic('L', 'T'):
        readParameters(2);
        flushPath();
        if (params_.empty()) {
            lineType_ = kSolid;
        } else if (std::fabs(params_[0]) <= 6) {
            lineType_ = static_cast<int>(std::fabs(params_[0]));
            patternPercent_ = 4; // the plotter's default length unless one is given
            if (params_.size() == 2) {
                if (params_[1] > 0 && params_[1] <= 100) {
                    patternPercent_ = params_[1];
                } else {
                    ++stats_.badParameters;
                }
            }
        } else {
            ++stats_.badParameters;
        }
        resetDash();
        break;
    case mnemonic('P', 'U'):
        penDown_ = false;
        flushPath();
        resetDash();
        moveList(relative_);
        break;
    case mnemonic('P', 'D'):
        penDown_ = true;
        moveList(relative_);
        break;
    case mnemonic('P', 'A'):
        relative_ = false;
        moveList(false);
        break;
    case mnemonic('P', 'R'):
        relative_ = true;
        moveList(true);
        break;
    case mnemonic('A', 'A'):
    case mnemonic('A', 'R'):
        readParameters(4);
        if (params_.size() < 3) {
            ++stats_.badParameters;
            break;
        }
        {
            Point centre{params_[0], params_[1]};
            if (b == 'R') centre = {pos_.x + centre.x, pos_.y + centre.y};
            arc(centre, params_[2], params_.size() == 4 ? params_[3] : 5);
        }
        break;
    case mnemonic('C', 'I'):
        readParameters(2);
        if (params_.empty()) {
            ++stats_.badParameters;
            break;
        }
        circle(params_[0], params_.size() == 2 ? params_[1] : 5);
        break;
    case mnemonic('P', 'M'):
        readParameters(1);
        flushPath();
        resetDash();
        {
            const int mode = params_.empty() ? 0 : static_cast<int>(params_[0]);
            const Point here = toPlotter(pos_);
            if (mode == 0) {
                polygonMode_ = true;
                rings_.clear();
                polygonPoints_ = 1;
                rings_.push_back({{here}, {0}});
            } else if (!polygonMode_) {
                ++stats_.badParameters;
            } else if (mode == 1) {
                if (rings_.empty() || rings_.back().points.size() > 1) rings_.push_back({});
                rings_.back().points = {here};
                rings_.back().drawn = {0};
            } else if (mode == 2) {
                polygonMode_ = false;
            } else {
                ++stats_.badParameters;
            }
        }
        break;
    case mnemonic('F', 'P'):
        readParameters(1);
        flushPath();
        fillPolygon();
        break;
    case mnemonic('E', 'P'):
        skipParameters();
        flushPath();
        edgePolygon();
        break;
    case mnemonic('S', 'I'):
        readParameters(2);
        if (params_.size() == 2) {
            charW_ = params_[0] * kUnitsPerCm;
            charH_ = params_[1] * kUnitsPerCm;
        } else {
            if (!params_.empty()) ++stats_.badParameters;
            charW_ = kDefaultCharW;
            charH_ = kDefaultCharH;
        }
        break;
    case mnemonic('S', 'R'): {
        readParameters(2);
        const double w = params_.size() == 2 ? params_[0] : 0.75;
        const double h = params_.size() == 2 ? params_[1] : 1.5;
        charW_ = w / 100 * std::fabs(p2_.x - p1_.x);
        charH_ = h / 100 * std::fabs(p2_.y - p1_.y);
        break;
    }
    case mnemonic('D', 'I'):
        readParameters(2);
        if (params_.size() == 2 && (params_[0] != 0 || params_[1] != 0)) {
            const double len = std::hypot(params_[0], params_[1]);
            runX_ = params_[0] / len;
            runY_ = params_[1] / len;
        } else if (params_.empty()) {
            runX_ = 1;
            runY_ = 0;
        } else {
            ++stats_.badParameters;
        }
        break;
    case mnemonic('D', 'V'):
        readParameters(2);
        vertical_ = !params_.empty() && params_[0] == 1;
        break;
    case mnemonic('E', 'S'):
        readParameters(2);
        extraSpaces_ = params_.empty() ? 0 : params_[0];
        extraLines_ = params_.size() > 1 ? params_[1] : 0;
        break;
    case mnemonic('S', 'L'):
        readParameters(1);
        slant_ = params_.empty() ? 0 : std::clamp(params_[0], -100.0, 100.0);
        break;
    case mnemonic('C', 'S'):
        readParameters(1);
        standardSet_ = params_.empty() ? 0 : static_cast<int>(params_[0]);
        break;
    case mnemonic('C', 'A'):
        readParameters(1);
        alternateSet_ = params_.empty() ? 0 : static_cast<int>(params_[0]);
        break;
    case mnemonic('S', 'S'):
        skipParameters();
        alternateSelected_ = false;
        break;
    case mnemonic('S', 'A'):
        skipParameters();
        alternateSelected_ = true;
        break;
    case mnemonic('D', 'T'): {
        const int t = get();
        if (t < 0 || t == ';') {
            terminator_ = 3;
        } else {
            terminator_ = static_cast<char>(t);
            skipParameters();
        }
        break;
    }
    case mnemonic('L', 'B'): label(); break;
    case mnemonic('A', 'F'):
    case mnemonic('P', 'G'):
    case mnemonic('A', 'H'):
        skipParameters();
        flushPath();
        sheetEnded_ = true;
        stats_.sheetEnded = true;
        break;
    default:
        ++stats_.unknownCommands;
        if (stats_.firstUnknown.empty()) {
            stats_.firstUnknown = {static_cast<char>(a), static_cast<char>(b)};
        }
        skipParameters();
        break;
    }
}

void GlfInterpreter::defaults() {
    scaled_ = false;
    hasWindow_ = false;
    applyWindow();
    relative_ = false;
    lineType_ = kSolid;
    patternPercent_ = 4;
    resetDash();
    polygonMode_ = false;
    rings_.clear();
    resetCharacterState();
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

// ---------------------------------------------------------------- coordinates

Point GlfInterpreter::toPlotter(Point u) const {
    if (!scaled_) return u;
    return {p1_.x + (u.x - xmin_) / (xmax_ - xmin_) * (p2_.x - p1_.x),
            p1_.y + (u.y - ymin_) / (ymax_ - ymin_) * (p2_.y - p1_.y)};
}

double GlfInterpreter::diagonal() const {
    return std::hypot(p2_.x - p1_.x, p2_.y - p1_.y);
}

void GlfInterpreter::applyWindow() {
    out_.setClip(hasWindow_ ? &window_ : nullptr);
}

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
    while (!stopped_ && readNumber(x)) {
        if (!readNumber(y)) {
            ++stats_.badParameters;
            break;
        }
        const Point target = relative ? Point{pos_.x + x, pos_.y + y} : Point{x, y};
        plot(target, penDown_);
    }
}

void GlfInterpreter::plot(Point target, bool down) {
    if (polygonMode_) {
        polygonPoint(toPlotter(target), down);
        pos_ = target;
        return;
    }
    const Point a = toPlotter(pos_);
    const Point b = toPlotter(target);
    pos_ = target;
    if (!down) {
        flushPath();
        resetDash();
        return;
    }
    if (same(a, b)) {
        if (path_.empty()) dot(a);
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
    if (lineType_ == kSolid) {
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
    const Pattern& pattern = kPatterns[lineType_];
    const double ux = (b.x - a.x) / length, uy = (b.y - a.y) / length;
    double t = 0;
    for (int guard = 0; guard < 1'000'000; ++guard) {
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
        const double step = std::min(dashPhase_, length - t);
        if (step <= 0) break;
        t += step;
        dashPhase_ -= step;
        if (dashOn_) append({a.x + ux * t, a.y + uy * t});
        if (t >= length) break;
        if (dashPhase_ <= 0) dashPhase_ = 0;
    }
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
        // A circle is a polygon of its own; the open one goes on after it.
        Ring r{ring, std::vector<unsigned char>(ring.size(), 1)};
        r.drawn[0] = 0;
        polygonPoints_ += ring.size();
        rings_.insert(rings_.end() - (rings_.empty() ? 0 : 1), std::move(r));
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

// ---------------------------------------------------------------- polygons

void GlfInterpreter::polygonPoint(Point p, bool down) {
    if (polygonPoints_ >= kMaxPolygonPoints) {
        ++stats_.droppedPolygonPoints;
        return;
    }
    ++polygonPoints_;
    if (rings_.empty()) rings_.push_back({});
    Ring& ring = rings_.back();
    if (!down) {
        if (ring.points.size() <= 1) {
            ring.points = {p};
            ring.drawn = {0};
        } else {
            rings_.push_back({{p}, {0}});
        }
        return;
    }
    ring.points.push_back(p);
    ring.drawn.push_back(1);
}

void GlfInterpreter::fillPolygon() {
    const bool evenOdd = params_.empty() || params_[0] != 1;
    std::vector<std::vector<Point>> rings;
    for (const Ring& r : rings_) {
        if (r.points.size() >= 3) rings.push_back(r.points);
    }
    if (rings.empty() || !drawingAllowed()) return;
    out_.fill(pen_, rings, evenOdd);
}

void GlfInterpreter::edgePolygon() {
    for (const Ring& r : rings_) {
        if (r.points.size() < 2) continue;
        resetDash();
        lineTo(r.points[0]);
        for (std::size_t i = 1; i < r.points.size(); ++i) {
            if (r.drawn[i]) {
                lineTo(r.points[i - 1]);
                dashedSegment(r.points[i - 1], r.points[i]);
            } else {
                flushPath();
            }
        }
        if (!same(r.points.back(), r.points.front())) {
            lineTo(r.points.back());
            dashedSegment(r.points.back(), r.points.front());
        }
        flushPath();
        if (stopped_) return;
    }
    resetDash();
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
        const int c = get();
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
            const int cell = get();
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
