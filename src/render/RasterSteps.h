#pragma once
// The pixel arithmetic of the raster painter: rounding without calls into
// the library, cutting a segment to a box, and the runs of ink along a
// segment in fixed point.  Internal to RasterSurface.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

// The runs of ink are a few pixels long: GCC would turn their loops into
// calls of memset, which cost more than the stores.
#if defined(__GNUC__) && !defined(__clang__)
#define KESTO_SHORT_RUNS __attribute__((optimize("no-tree-loop-distribute-patterns")))
#else
#define KESTO_SHORT_RUNS
#endif

namespace kesto::render::raster {

// std::llround without the call into the library, for values well inside
// the range of 64 bits: ties away from zero, as it rounds.  Without
// branches: which way a fraction rounds cannot be foretold.
inline std::int64_t roundToInt64(double v) {
    const auto whole = static_cast<std::int64_t>(v);    // toward zero
    const double rest = v - static_cast<double>(whole); // exact
    return whole + static_cast<std::int64_t>(rest >= 0.5) - static_cast<std::int64_t>(rest <= -0.5);
}

// Pixel numbers beyond this are as far off the picture as any: every
// coordinate is held inside it before it becomes an int, NaN included.
constexpr double kFarPixels = 1 << 28;

inline double bounded(double v) {
    return !(v >= -kFarPixels) ? -kFarPixels : v > kFarPixels ? kFarPixels : v;
}

inline int floorToInt(double v) {
    v = bounded(v);
    const int i = static_cast<int>(v);
    return i - static_cast<int>(i > v);
}

// std::ceil of a length already cut to the picture (finite, not negative,
// far below the range of int), without the branches.
inline int ceilToInt(double v) {
    const int i = static_cast<int>(v);
    return i + static_cast<int>(i < v);
}

// Halves round up, as everywhere on the picture.
inline int roundToInt(double v) {
    return floorToInt(v + 0.5);
}

// Cuts the segment a-b to the box [x0, x1] x [y0, y1] (Liang-Barsky); false
// when nothing of it is inside or an end is not a number.  A segment inside
// is left exactly as it is.
inline bool clipSegment(double& ax, double& ay, double& bx, double& by, double x0, double y0,
                        double x1, double y1) {
    const double dx = bx - ax, dy = by - ay;
    if (!std::isfinite(dx) || !std::isfinite(dy)) return false;
    if (std::min(ax, bx) >= x0 && std::max(ax, bx) <= x1 && std::min(ay, by) >= y0 &&
        std::max(ay, by) <= y1)
        return true;
    double t0 = 0, t1 = 1;
    // The part with p * t <= q.
    const auto keep = [&](double p, double q) {
        if (p == 0) return q >= 0;
        const double t = q / p;
        if (p < 0) {
            if (t > t1) return false;
            t0 = std::max(t0, t);
        } else {
            if (t < t0) return false;
            t1 = std::min(t1, t);
        }
        return true;
    };
    if (!keep(-dx, ax - x0) || !keep(dx, x1 - ax) || !keep(-dy, ay - y0) || !keep(dy, y1 - ay))
        return false;
    const double sx = ax, sy = ay;
    if (t1 < 1) {
        bx = sx + t1 * dx;
        by = sy + t1 * dy;
    }
    if (t0 > 0) {
        ax = sx + t0 * dx;
        ay = sy + t0 * dy;
    }
    return true;
}

// The steps of a segment wholly inside the picture, in fixed point with 16
// bits of fraction: at each, `run` pixels across the line, `apart` bytes
// from one to the next (a row for a flat segment, a column for a steep one).
// The usual runs of one to four pixels have loops of their own, unrolled.
template <int Run>
KESTO_SHORT_RUNS inline void inkRuns(std::uint8_t* pixels, std::ptrdiff_t stride,
                                     std::ptrdiff_t apart, std::int64_t fx, std::int64_t fy,
                                     std::int64_t stepX, std::int64_t stepY, int steps, int run,
                                     std::uint8_t ink) {
    for (int i = 0; i <= steps; ++i, fx += stepX, fy += stepY) {
        std::uint8_t* p = pixels + (fy >> 16) * stride + (fx >> 16);
        if constexpr (Run > 0) {
            for (int k = 0; k < Run; ++k)
                p[k * apart] = ink;
        } else {
            for (int k = 0; k < run; ++k)
                p[k * apart] = ink;
        }
    }
}

// Locals, not members: stores of bytes could alias them.
inline void inkSteps(std::uint8_t* pixels, std::ptrdiff_t stride, std::ptrdiff_t apart,
                     std::int64_t fx, std::int64_t fy, std::int64_t stepX, std::int64_t stepY,
                     int steps, int run, std::uint8_t ink) {
    switch (run) {
    case 1: inkRuns<1>(pixels, stride, apart, fx, fy, stepX, stepY, steps, run, ink); break;
    case 2: inkRuns<2>(pixels, stride, apart, fx, fy, stepX, stepY, steps, run, ink); break;
    case 3: inkRuns<3>(pixels, stride, apart, fx, fy, stepX, stepY, steps, run, ink); break;
    case 4: inkRuns<4>(pixels, stride, apart, fx, fy, stepX, stepY, steps, run, ink); break;
    default: inkRuns<0>(pixels, stride, apart, fx, fy, stepX, stepY, steps, run, ink); break;
    }
}

} // namespace kesto::render::raster
