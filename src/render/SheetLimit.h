#pragma once
// Marks far outside the sheet, cut back for the vector writers: a viewer
// needs numbers it can hold (a PDF integer stops at 2^31), and nothing
// beyond the sheet shows anyway.  Lines and areas are cut at a box around
// the sheet, so what lies on the sheet keeps its exact course.

#include "render/PlotSurface.h"

#include <algorithm>
#include <vector>

namespace kesto::render {

// The sheet widened on every side by its larger side, within +-2e9.
Rect limitBox(const Rect& sheet);

inline bool inside(const Rect& box, Point p) {
    return p.x >= box.left && p.x <= box.right && p.y >= box.bottom && p.y <= box.top;
}

// The sheet cut to the drawing's clip window (the whole sheet without one);
// a window beside the sheet leaves an empty box, never a negative one.
Rect clipBox(const Rect& sheet, const Rect* window);

// The parts of a pen-down path that lie in `box`, each a path of its own
// (a single point stays a dot).
std::vector<std::vector<Point>> clipPath(const Rect& box, const Point* points, std::size_t count);

// Draws a path through `draw(points, count)`: whole when it lies in the
// box (the usual case, without a copy), else part by part.
template <typename Draw>
void forEachPart(const Rect& box, const Point* points, std::size_t count, Draw draw) {
    if (std::all_of(points, points + count, [&](Point p) { return inside(box, p); })) {
        draw(points, count);
        return;
    }
    for (const auto& part : clipPath(box, points, count))
        draw(part.data(), part.size());
}

// A closed ring cut to `box` (an area's ring keeps its fill inside the box);
// empty when nothing of it is left.
std::vector<Point> clipRing(const Rect& box, const std::vector<Point>& ring);

// Draws each ring of an area through `draw(corner, count)`, where
// `corner(i)` gives the ring's i-th corner: whole when it lies in the box
// (without a copy), else cut to it; rings with nothing left are passed over.
template <typename Draw> void forEachRing(const Rect& box, const Polygon& polygon, Draw draw) {
    std::size_t begin = 0;
    for (std::size_t r = 0; r < polygon.rings; ++r) {
        const std::size_t count = polygon.ringSizes[r];
        const std::size_t first = begin;
        begin += count;
        if (count == 0) continue;
        auto corner = [&](std::size_t i) { return polygon.corner(first + i); };
        bool whole = true;
        for (std::size_t i = 0; i < count && whole; ++i)
            whole = inside(box, corner(i));
        if (whole) {
            draw(corner, count);
            continue;
        }
        std::vector<Point> ring(count);
        for (std::size_t i = 0; i < count; ++i)
            ring[i] = corner(i);
        const std::vector<Point> cut = clipRing(box, ring);
        if (!cut.empty()) draw([&](std::size_t i) { return cut[i]; }, cut.size());
    }
}

// True when any part of the character's body could reach into `box`.
bool glyphNear(const Rect& box, const Glyph& glyph);

} // namespace kesto::render
