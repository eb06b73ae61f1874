// Filled polygons of the raster painter: every pixel whose centre is inside.
#include "render/RasterSurface.h"

#include "render/RasterSteps.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>

namespace kesto::render {

using namespace raster;

namespace {

// The edge goes up on the picture (winding -1); marks the lower corner's number.
constexpr std::uint32_t kEdgeWindingBit = 0x80000000u;
// Edge lists longer than this are given back after the fill.
constexpr std::size_t kKeptEdges = 1 << 16;

// Where the edge crosses the scan line through `cy`.  An upright edge (the
// sides of most filled rectangles) crosses every line at its x: the same
// number the division gives, without it.
inline double crossingAt(double x0, double y0, double dx, double dy, double cy) {
    return dx == 0 ? x0 : x0 + (cy - y0) * dx / dy;
}

} // namespace

// A polygon's corners on the picture, worked out as needed (always by the
// same expression, so an edge's numbers are the same each time).
struct raster::DeviceCorners {
    const Polygon& polygon;
    double m11, m22, tx, ty;
    double x(std::uint32_t i) const { return polygon.corner(i).x * m11 + tx; }
    double y(std::uint32_t i) const { return polygon.corner(i).y * m22 + ty; }

    // A side from its upper corner down to its lower one, on the picture.
    struct Side {
        double x0, y0, dx, dy;
        int below; // the first scan line it does not cross
        double at(double cy) const { return crossingAt(x0, y0, dx, dy, cy); }
    };
    Side side(std::uint32_t upper, std::uint32_t lower) const {
        const double x0 = x(upper), y0 = y(upper), lowerY = y(lower);
        return {x0, y0, x(lower) - x0, lowerY - y0, -floorToInt(0.5 - lowerY)};
    }
};

inline int RasterSurface::windingOf(const Crossing& c) {
    return (c.edge.lower & kEdgeWindingBit) ? -1 : 1;
}

// Every pixel whose centre is inside (even-odd or non-zero), scan line by
// scan line over the edges that cross it.  Edges are kept as the numbers of
// their corners (no copy of the polygon) and bucketed by their first scan
// line, so memory and time stay linear in the corners.
void RasterSurface::fill(int pen, const Polygon& polygon, bool evenOdd) {
    const std::size_t corners = polygon.corners();
    if (corners < 2 || corners >= kEdgeWindingBit || clipY1_ < clipY0_ || clipX1_ < clipX0_) return;
    // (Corner numbers fit 31 bits: the interpreter's buffer holds far fewer.)
    usePen(pen);
    if (corners <= kFewCorners) {
        fillFew(polygon, evenOdd);
        return;
    }
    const DeviceCorners at{polygon, toDevice_.m11(), toDevice_.m22(), toDevice_.dx(),
                           toDevice_.dy()};
    // The scan lines whose centres an edge crosses: [first, last].
    const auto rows = [&](const Edge& e, int& first, int& last) {
        return scanRows(at.y(e.upper), at.y(e.lower & ~kEdgeWindingBit), first, last);
    };
    const auto forEachEdge = [&](auto&& use) {
        std::uint32_t start = 0;
        for (std::size_t r = 0; r < polygon.rings; ++r) {
            const auto n = static_cast<std::uint32_t>(polygon.ringSizes[r]);
            for (std::uint32_t k = 0; k < n; ++k) {
                const std::uint32_t a = start + k, b = start + (k + 1 == n ? 0 : k + 1);
                const double ya = at.y(a), yb = at.y(b);
                if (ya == yb || !std::isfinite(ya + yb + at.x(a) + at.x(b))) continue;
                const Edge e = ya < yb ? Edge{a, b} : Edge{b, a | kEdgeWindingBit};
                int first, last;
                if (rows(e, first, last)) use(e, first, last);
            }
            start += n;
        }
    };
    // Bucketed by first scan line: the lines spanned, the edges counted per
    // line, then placed.
    int top = clipY1_ + 1, bottom = clipY0_ - 1;
    forEachEdge([&](const Edge&, int first, int last) {
        top = std::min(top, first);
        bottom = std::max(bottom, last);
    });
    if (top > bottom) return;
    std::vector<std::uint32_t>& bucket = rowStarts_;
    bucket.assign(static_cast<std::size_t>(bottom - top) + 2, 0);
    forEachEdge([&](const Edge&, int first, int) { ++bucket[first - top + 1]; });
    for (std::size_t i = 1; i < bucket.size(); ++i)
        bucket[i] += bucket[i - 1];
    std::vector<Edge>& edges = edges_;
    edges.resize(bucket.back());
    forEachEdge([&](const Edge& e, int first, int) { edges[bucket[first - top]++] = e; });
    // bucket[i] is now where the edges of line top + i + 1 begin.
    // Where an edge crosses line y (centre cy); false once it has passed.
    // Worked out from its corners as when it came, so the same number.
    const auto crossing = [&](const Edge& e, int y, double cy, double& x) {
        const DeviceCorners::Side side = at.side(e.upper, e.lower & ~kEdgeWindingBit);
        if (side.below <= y) return false; // (y is inside the clip)
        x = side.at(cy);
        return true;
    };
    // The edges crossing the scan line, kept in the order of their crossings:
    // the sides of a polygon cross each other seldom, so the order of one
    // line is nearly that of the next.  Where more edges cross a line than
    // it has pixels, a band of lines is filled by counting instead.
    std::vector<Crossing>& active = active_;
    active.clear();
    // Room for every edge at once: pages never written cost nothing, and a
    // list grown by doubling would hold two copies while it moves.
    active.reserve(edges.size());
    const auto dense = static_cast<std::size_t>(clipX1_ - clipX0_) + 1;
    std::size_t next = 0;
    for (int y = top; y <= bottom; ++y) {
        if (cancel_ && cancel_->load(std::memory_order_relaxed)) break;
        if (active.size() + (bucket[y - top] - next) > dense) {
            const int end = std::min(bottom, y + kBandLines - 1);
            for (; next < bucket[end - top]; ++next)
                active.push_back({0, edges[next]});
            fillBand(at, y, end, evenOdd);
            y = end;
            continue;
        }
        const double cy = y + 0.5;
        std::size_t keep = 0;
        for (const Crossing& c : active) {
            double x;
            if (crossing(c.edge, y, cy, x)) active[keep++] = {x, c.edge};
        }
        active.resize(keep);
        sortCrossings(active.data(), active.data() + keep);
        for (const std::size_t end = bucket[y - top]; next < end; ++next) {
            double x; // (an edge comes on the first line it crosses)
            if (crossing(edges[next], y, cy, x)) active.push_back({x, edges[next]});
        }
        if (active.size() > keep) {
            sortCrossings(active.data() + keep, active.data() + active.size());
            // In place: a second list as long as the first would double the
            // memory of a dense outline, whose edges all cross one line.
            std::inplace_merge(active.begin(), active.begin() + static_cast<std::ptrdiff_t>(keep),
                               active.end(),
                               [](const Crossing& l, const Crossing& r) { return l.x < r.x; });
        }
        fillLine(y, active.data(), active.size(), evenOdd);
    }
    if (edges.capacity() > kKeptEdges) {
        edges = {};
        active_ = {};
    }
    if (counts_.size() > kKeptEdges) counts_ = {};
}

// The scan lines whose centres an edge from y0 down to y1 crosses, inside
// the clip: [first, last]; false for none.
bool RasterSurface::scanRows(double y0, double y1, int& first, int& last) const {
    first = std::max(clipY0_, -floorToInt(0.5 - y0));
    last = std::min(clipY1_, -floorToInt(0.5 - y1) - 1);
    return first <= last;
}

// The runs of scan line `y` between its crossings, sorted by x: every
// pixel whose centre is inside.
template <class Line>
void RasterSurface::fillLine(int y, const Line* line, std::size_t count, bool evenOdd) {
    int inside = 0;
    for (std::size_t i = 0; i + 1 < count; ++i) {
        inside += windingOf(line[i]);
        const bool filled = evenOdd ? (i % 2 == 0) : inside != 0;
        if (!filled) continue;
        const int x0 = -floorToInt(0.5 - line[i].x);
        const int x1 = -floorToInt(0.5 - line[i + 1].x) - 1;
        if (x1 >= x0) span(y, x0, x1, false);
    }
}

// Lines `from` to `to` (at most kBandLines) over the active edges, in any
// order, without sorting: each crossing counted at the first pixel whose
// centre is right of it, the counts then summed along each line.  The same
// runs as fillLine.  Every edge is read once for the band; the edges that
// go on below it are kept.
void RasterSurface::fillBand(const DeviceCorners& at, int from, int to, bool evenOdd) {
    const auto width = static_cast<std::size_t>(clipX1_ - clipX0_) + 2; // and one right of it
    std::vector<int>& counts = counts_;
    counts.resize(width * kBandLines); // zero between bands
    int rightmost[kBandLines];
    std::fill(rightmost, rightmost + kBandLines, INT_MIN);
    std::size_t keep = 0;
    for (std::size_t i = 0; i < active_.size(); ++i) {
        // A band of millions of edges takes a while: the stop is heard within it.
        if (i % 65536 == 0 && cancel_ && cancel_->load(std::memory_order_relaxed)) return;
        const Crossing c = active_[i];
        const DeviceCorners::Side side = at.side(c.edge.upper, c.edge.lower & ~kEdgeWindingBit);
        const int first = std::max(from, -floorToInt(0.5 - side.y0));
        const int last = std::min(to, side.below - 1);
        const int winding = windingOf(c); // (its parity: a crossing, for even-odd)
        for (int y = first; y <= last; ++y) {
            const int pixel = -floorToInt(0.5 - side.at(y + 0.5));
            const auto line = static_cast<std::size_t>(y - from);
            rightmost[line] = std::max(rightmost[line], pixel);
            counts[line * width + static_cast<std::size_t>(std::clamp(pixel, clipX0_, clipX1_ + 1) -
                                                           clipX0_)] += winding;
        }
        if (side.below > to + 1) active_[keep++] = c;
    }
    active_.resize(keep);
    for (int y = from; y <= to; ++y) {
        int* line = counts.data() + static_cast<std::size_t>(y - from) * width;
        // Nothing is filled right of the last crossing, as in fillLine (an
        // outline with a side dropped may not close).
        const int end = std::min(rightmost[y - from], clipX1_ + 1);
        int inside = 0, start = clipX0_;
        bool filling = false;
        for (int x = clipX0_; x < end; ++x) {
            inside += line[x - clipX0_];
            const bool filled = evenOdd ? (inside & 1) != 0 : inside != 0;
            if (filled == filling) continue;
            if (filling) span(y, start, x - 1, false);
            filling = filled;
            start = x;
        }
        if (filling) span(y, start, end - 1, false);
        std::fill(line, line + width, 0);
    }
}

// A polygon of a few corners (the dashes of a wide line, most filled
// areas): its edges in an array, each scan line's crossings found afresh
// and sorted by insertion.  The same crossings and runs as the general way,
// without its buckets and lists.  (Crossings at the same x give the same
// runs in any order.)
void RasterSurface::fillFew(const Polygon& polygon, bool evenOdd) {
    const double m11 = toDevice_.m11(), m22 = toDevice_.m22();
    const double tx = toDevice_.dx(), ty = toDevice_.dy();
    FewEdge edges[kFewCorners];
    int firstRows[kFewCorners];
    std::size_t count = 0;
    int top = clipY1_ + 1, bottom = clipY0_ - 1;
    std::size_t start = 0;
    for (std::size_t r = 0; r < polygon.rings; ++r) {
        const std::size_t n = polygon.ringSizes[r];
        for (std::size_t k = 0; k < n; ++k) {
            const Point a = polygon.corner(start + k);
            const Point b = polygon.corner(start + (k + 1 == n ? 0 : k + 1));
            const double ax = a.x * m11 + tx, ay = a.y * m22 + ty;
            const double bx = b.x * m11 + tx, by = b.y * m22 + ty;
            if (ay == by || !std::isfinite(ay + by + ax + bx)) continue;
            const bool down = ay < by; // from the upper corner on the picture
            FewEdge& c = edges[count];
            c.x0 = down ? ax : bx;
            c.y0 = down ? ay : by;
            c.dx = (down ? bx : ax) - c.x0;
            c.dy = (down ? by : ay) - c.y0;
            c.winding = down ? 1 : -1;
            if (!scanRows(c.y0, down ? by : ay, firstRows[count], c.lastRow)) continue;
            top = std::min(top, firstRows[count]);
            bottom = std::max(bottom, c.lastRow);
            ++count;
        }
        start += n;
    }
    if (count == 2 && edges[0].dx == 0 && edges[1].dx == 0 && firstRows[0] == firstRows[1] &&
        edges[0].lastRow == edges[1].lastRow) {
        fillUpright(edges, top, bottom);
        return;
    }
    for (int y = top; y <= bottom; ++y) {
        if (cancel_ && cancel_->load(std::memory_order_relaxed)) break;
        const double cy = y + 0.5;
        FewEdge line[kFewCorners];
        std::size_t n = 0;
        for (std::size_t e = 0; e < count; ++e) {
            if (y < firstRows[e] || y > edges[e].lastRow) continue;
            FewEdge c = edges[e];
            c.x = crossingAt(c.x0, c.y0, c.dx, c.dy, cy);
            std::size_t j = n++;
            for (; j > 0 && c.x < line[j - 1].x; --j)
                line[j] = line[j - 1];
            line[j] = c;
        }
        fillLine(y, line, n, evenOdd);
    }
}

// A rectangle upright on the picture (the dash of a wide line along an
// axis): two upright edges over the same scan lines cross each of them at
// the same x, so every line has the same run, inside by either rule.
void RasterSurface::fillUpright(const FewEdge* edges, int top, int bottom) {
    const double left = std::min(edges[0].x0, edges[1].x0);
    const double right = std::max(edges[0].x0, edges[1].x0);
    const int x0 = -floorToInt(0.5 - left), x1 = -floorToInt(0.5 - right) - 1;
    if (x1 < x0) return;
    for (int y = top; y <= bottom; ++y) {
        if (cancel_ && cancel_->load(std::memory_order_relaxed)) break;
        span(y, x0, x1, false);
    }
}

// Sorts [begin, end) by x: by insertion while they are nearly in order,
// wholly once that costs more than a few moves per crossing.
void RasterSurface::sortCrossings(Crossing* begin, Crossing* end) {
    const auto byX = [](const Crossing& l, const Crossing& r) { return l.x < r.x; };
    std::size_t budget = 4 * static_cast<std::size_t>(end - begin) + 64;
    for (Crossing* i = begin + (begin == end ? 0 : 1); i < end; ++i) {
        if (!(i->x < (i - 1)->x)) continue;
        const Crossing moving = *i;
        Crossing* j = i;
        for (; j > begin && moving.x < (j - 1)->x && budget > 0; --j, --budget)
            *j = *(j - 1);
        *j = moving;
        if (budget == 0) {
            std::sort(begin, end, byX);
            return;
        }
    }
}

} // namespace kesto::render
