#pragma once
// Paths written as text by the vector writers: the corners in whole plotter
// steps, as the plotter moves, each with the format's move or line operator.

#include "render/PlotSurface.h"
#include "render/SheetLimit.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <string>

namespace kesto::render {

// How a format spells a path: its operators, and whether one stands before
// the point ("M1 2 ") or after it ("1 2 m\n").
struct PathSpelling {
    char move;
    char line;
    bool operatorFirst;
};

inline void appendPoint(std::string& to, const PathSpelling& spelling, Point p, char op) {
    char buffer[48];
    char* at = buffer;
    if (spelling.operatorFirst) *at++ = op;
    for (double v : {p.x, p.y}) {
        const double r = std::isnan(v) ? 0 : std::clamp(std::round(v), -1e12, 1e12);
        at = std::to_chars(at, buffer + sizeof buffer, static_cast<long long>(r)).ptr;
        *at++ = ' ';
    }
    if (!spelling.operatorFirst) {
        *at++ = op;
        *at++ = '\n';
    }
    to.append(buffer, static_cast<std::size_t>(at - buffer));
}

// A move to the first corner and lines through the others; cut short once
// `*cancel` is true (the picture is then thrown away).
template <typename Corner>
void appendCorners(std::string& to, const PathSpelling& spelling, Corner corner, std::size_t count,
                   const std::atomic<bool>* cancel = nullptr) {
    appendPoint(to, spelling, corner(0), spelling.move);
    for (std::size_t i = 1; i < count; ++i) {
        if (cancel && cancel->load(std::memory_order_relaxed)) return;
        appendPoint(to, spelling, corner(i), spelling.line);
    }
}

// A pen-down path; a single point is a line to itself, so that it shows as
// the nib's dot.
inline void appendPolyline(std::string& to, const PathSpelling& spelling, const Point* points,
                           std::size_t count) {
    appendCorners(
        to, spelling, [&](std::size_t i) { return points[i]; }, count);
    if (count == 1) appendPoint(to, spelling, points[0], spelling.line);
}

// The rings of an area that reach into `box`, each cut to it: `start()`
// before the first ring, `close()` after each.  False when nothing of the
// area is left to draw.  Cut short once `*cancel` is true.
template <typename Start, typename Close>
bool appendArea(std::string& to, const PathSpelling& spelling, const Rect& box,
                const Polygon& polygon, Start start, Close close,
                const std::atomic<bool>* cancel = nullptr) {
    bool any = false;
    forEachRing(box, polygon, [&](auto corner, std::size_t n) {
        if (!any) start();
        any = true;
        appendCorners(to, spelling, corner, n, cancel);
        close();
    });
    return any;
}

} // namespace kesto::render
