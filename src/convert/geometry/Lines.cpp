// Straight lines: the single segment, the polyline (one PR list), and the
// wide dashed polyline, whose dashes become filled rectangles.

#include "convert/Converter.h"

#include <cmath>

namespace kesto {
namespace {

constexpr std::size_t kMaxPatternElements = 101; // the element table's size
constexpr unsigned kMaxStartElement = 100;       // last index of the element table
// More dashes than this in one record is not a drawing; the walk would
// run for hours.
constexpr std::size_t kMaxDashesPerRecord = 2'000'000;

bool isDashAtStart(unsigned e) {
    return e <= 10 && e % 2 == 0;
}
bool isDashAtVertex(unsigned e) {
    return e <= 12 && e % 2 == 0;
}

// The wide dashed polyline keeps its cut points rounded to 0.001 and draws
// each pair of them as one filled rectangle.  Pairs are drawn as soon as
// they are complete, so memory stays flat however long the record is.
class DashPairs {
public:
    DashPairs(Converter& c, double width) : c_(c), half_(width / 2) {}

    void add(double x, double y) {
        const ScratchPoint p{roundLikeMask(x, 3), roundLikeMask(y, 3)};
        if (++count_ > 2 * kMaxDashesPerRecord)
            throw DrawingDamaged("too many dashes in one record");
        if (count_ % 2 == 1) {
            first_ = p;
        } else {
            drawDash(first_, p);
        }
    }

private:
    void drawDash(const ScratchPoint& a, const ScratchPoint& b) {
        if (a.x == b.x && a.y == b.y) return;
        const double len = std::sqrt((b.x - a.x) * (b.x - a.x) + (b.y - a.y) * (b.y - a.y));
        const double co = (b.x - a.x) / len;
        const double si = (b.y - a.y) / len;
        const double w = half_;
        const ScratchPoint c1{a.x + si * w, a.y - co * w};
        const ScratchPoint c2{a.x - si * w, a.y + co * w};
        const ScratchPoint c3{a.x + co * len - si * w, a.y + si * len + co * w};
        const ScratchPoint c4{a.x + co * len + si * w, a.y + si * len - co * w};
        char* p = c_.out.reserve(5 * kPairRoom + 40);
        p = c_.writePoint(c1.x, c1.y, writeLiteral("PUPA", p));
        p = c_.writeStep(c2.x - c1.x, c2.y - c1.y, writeLiteral(";PM0;PDPR", p));
        *p++ = ',';
        p = c_.writeStep(c3.x - c2.x, c3.y - c2.y, p);
        *p++ = ',';
        p = c_.writeStep(c4.x - c3.x, c4.y - c3.y, p);
        *p++ = ',';
        p = c_.writeStep(c1.x - c4.x, c1.y - c4.y, p);
        c_.out.commit(writeLiteral(";PM2;FP;EP;", p));
    }

    Converter& c_;
    double half_;
    std::size_t count_ = 0;
    ScratchPoint first_{0, 0};
};

} // namespace

// Reads n pattern elements (32-bit values divided by `divisor`) into the
// state's table; checks the counts first.
void readPatternElements(Converter& c, unsigned start, unsigned n, double divisor) {
    if (n == 0 || n > kMaxPatternElements)
        throw DrawingDamaged("pattern element count out of range");
    if (start > kMaxStartElement) throw DrawingDamaged("pattern start element out of range");
    std::vector<double>& el = c.state.elements;
    el.assign(n, 0.0);
    bool allZero = true;
    for (unsigned e = 0; e < n; ++e) {
        el[e] = c.in.nextULong() / divisor;
        if (el[e] != 0) allZero = false;
    }
    // A pattern of nothing but empty elements never advances along the line.
    if (n >= 2 && allZero) throw DrawingDamaged("pattern elements all 0");
}

void convertLineSegment(Converter& c) {
    c.out.flushPendingStyle();
    reselectGeometryPen(c);
    const auto [x0, y0, x1, y1] = c.in.nextWords<4>();
    fitPatternToSegment(c, x0, y0, x1, y1);
    writeSegment(c, x0, y0, x1, y1);
}

void convertPolyline(Converter& c) {
    c.out.flushPendingStyle();
    reselectGeometryPen(c);
    const double n = c.in.nextULong();
    if (n < 4 || std::fmod(n, 2) != 0) throw DrawingDamaged("polyline count below 4 or odd");
    double px = c.in.next();
    double py = c.in.next();
    if (n == 4) {
        const double x1 = c.in.next();
        const double y1 = c.in.next();
        fitPatternToSegment(c, px, py, x1, y1);
        writeSegment(c, px, py, x1, y1);
        return;
    }
    restorePattern(c);
    GlfWriter& out = c.out;
    out.put("PUPA");
    c.point(px, py);
    out.put(";PDPR");
    // The words are read from a copy of the reader and the cursor is set
    // once at the end: the writes into the buffer then cannot make the
    // compiler fetch the reader's fields again for every point.
    const OfiReader words = c.in.reader();
    std::size_t at = c.in.index();
    for (double k = 4;; k += 2) {
        const double x = words.word(++at);
        const double y = words.word(++at);
        char* p = c.writeStep(x - px, y - py, out.reserve(kPairRoom + 1));
        if (!(k < n)) {
            *p++ = ';';
            out.commit(p);
            break;
        }
        *p++ = ',';
        out.commit(p);
        px = x;
        py = y;
    }
    c.in.setIndex(at);
}

void convertWideDashedPolyline(Converter& c) {
    c.out.flushPendingStyle();
    restorePattern(c);
    reselectGeometryPen(c);
    const double recordLength = c.in.nextULong();
    const double lastWord = static_cast<double>(c.in.index()) + recordLength;
    const unsigned start = c.in.next();
    const unsigned n = c.in.next();
    readPatternElements(c, start, n, 1000);
    const std::vector<double>& el = c.state.elements;
    double used = c.in.nextULong() / 1000;
    const double width = c.in.next();
    double cx = c.in.next();
    double cy = c.in.next();

    DashPairs dashes(c, width);
    if (isDashAtStart(start)) dashes.add(cx, cy);
    unsigned e = start;
    bool firstSegment = true;
    while (static_cast<double>(c.in.index()) < lastWord) {
        if (!firstSegment && isDashAtVertex(e)) dashes.add(cx, cy);
        firstSegment = false;
        const double qx = c.in.next();
        const double qy = c.in.next();
        double len = std::sqrt((qx - cx) * (qx - cx) + (qy - cy) * (qy - cy));
        const double co = len == 0 ? 0 : (qx - cx) / len;
        const double si = len == 0 ? 0 : (qy - cy) / len;
        // Walk the pattern along the segment.
        while (n != 1) {
            if (e > n - 1) e = 0;
            const double rest = len - (el[e] - used);
            if (rest > 0) {
                cx = cx + co * (el[e] - used);
                cy = cy + si * (el[e] - used);
                dashes.add(cx, cy);
                used = 0;
                len = rest;
                ++e;
            } else {
                used = used + len; // the element goes on in the next segment
                break;
            }
        }
        if (e % 2 == 0) dashes.add(qx, qy);
        cx = qx;
        cy = qy;
    }
}

} // namespace kesto
