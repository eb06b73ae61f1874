#include "render/SheetLimit.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace kesto::render {

namespace {

constexpr double kLargest = 2e9; // below the 2^31 of a PDF integer

// The part t0..t1 of the segment a-b inside the box (Liang and Barsky).
bool clipSegment(const Rect& box, Point a, Point b, double& t0, double& t1) {
    if (!std::isfinite(a.x + a.y + b.x + b.y)) return false;
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x - box.left, box.right - a.x, a.y - box.bottom, box.top - a.y};
    t0 = 0;
    t1 = 1;
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0) {
            t0 = std::max(t0, t);
        } else {
            t1 = std::min(t1, t);
        }
        if (t0 > t1) return false;
    }
    return true;
}

Point at(Point a, Point b, double t) {
    return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
}

// One side of the box for the ring cutter: keeps what is on its inner side.
struct Edge {
    int axis;     // 0: x, 1: y
    double limit; // the side's coordinate
    bool keepBelow;
    bool keeps(Point p) const {
        const double v = axis == 0 ? p.x : p.y;
        return keepBelow ? v <= limit : v >= limit;
    }
    Point cross(Point a, Point b) const {
        const double va = axis == 0 ? a.x : a.y, vb = axis == 0 ? b.x : b.y;
        Point p = at(a, b, (limit - va) / (vb - va));
        (axis == 0 ? p.x : p.y) = limit; // exactly on the side
        return p;
    }
};

std::vector<Point> cutRing(const std::vector<Point>& ring, const Edge& edge) {
    std::vector<Point> out;
    if (ring.empty()) return out;
    out.reserve(ring.size() + 4);
    Point previous = ring.back();
    for (const Point& p : ring) {
        if (edge.keeps(p)) {
            if (!edge.keeps(previous)) out.push_back(edge.cross(previous, p));
            out.push_back(p);
        } else if (edge.keeps(previous)) {
            out.push_back(edge.cross(previous, p));
        }
        previous = p;
    }
    return out;
}

} // namespace

Rect limitBox(const Rect& sheet) {
    const double margin = std::max(sheet.width(), sheet.height());
    return {std::max(sheet.left - margin, -kLargest), std::max(sheet.bottom - margin, -kLargest),
            std::min(sheet.right + margin, kLargest), std::min(sheet.top + margin, kLargest)};
}

Rect clipBox(const Rect& sheet, const Rect* window) {
    Rect r = sheet;
    if (window) {
        r.left = std::max(r.left, window->left);
        r.bottom = std::max(r.bottom, window->bottom);
        r.right = std::max(r.left, std::min(r.right, window->right));
        r.top = std::max(r.bottom, std::min(r.top, window->top));
    }
    return r;
}

std::vector<std::vector<Point>> clipPath(const Rect& box, const Point* points, std::size_t count) {
    std::vector<std::vector<Point>> parts;
    if (count == 0) return parts;
    if (std::all_of(points, points + count, [&](Point p) { return inside(box, p); })) {
        parts.emplace_back(points, points + count);
        return parts;
    }
    if (count == 1) return parts; // a dot outside
    std::vector<Point> part;
    for (std::size_t i = 1; i < count; ++i) {
        double t0 = 0, t1 = 1;
        if (!clipSegment(box, points[i - 1], points[i], t0, t1)) {
            if (!part.empty()) parts.push_back(std::move(part));
            part.clear();
            continue;
        }
        if (t0 > 0 && !part.empty()) {
            parts.push_back(std::move(part));
            part.clear();
        }
        if (part.empty()) part.push_back(at(points[i - 1], points[i], t0));
        part.push_back(at(points[i - 1], points[i], t1));
        if (t1 < 1) {
            parts.push_back(std::move(part));
            part.clear();
        }
    }
    if (!part.empty()) parts.push_back(std::move(part));
    return parts;
}

std::vector<Point> clipRing(const Rect& box, const std::vector<Point>& ring) {
    if (std::all_of(ring.begin(), ring.end(), [&](Point p) { return inside(box, p); })) return ring;
    std::vector<Point> r;
    std::copy_if(ring.begin(), ring.end(), std::back_inserter(r),
                 [](Point p) { return std::isfinite(p.x + p.y); });
    for (const Edge& e : {Edge{0, box.left, false}, Edge{0, box.right, true},
                          Edge{1, box.bottom, false}, Edge{1, box.top, true}})
        r = cutRing(r, e);
    if (r.size() < 3) r.clear();
    return r;
}

bool glyphNear(const Rect& box, const Glyph& g) {
    // The body with its slant lies within this reach of its origin.
    const double reach = (std::abs(g.w) + std::abs(g.h)) * (1 + std::abs(g.slant));
    if (!(reach < kLargest) || !(std::abs(g.origin.x) < kLargest) ||
        !(std::abs(g.origin.y) < kLargest))
        return false;
    return g.origin.x + reach >= box.left && g.origin.x - reach <= box.right &&
           g.origin.y + reach >= box.bottom && g.origin.y - reach <= box.top;
}

} // namespace kesto::render
