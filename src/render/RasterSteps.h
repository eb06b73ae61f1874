#pragma once
// The pixel arithmetic of the raster painter: rounding without calls into
// the library, cutting a segment to a box, and the runs of ink along a
// segment in fixed point.  Internal to RasterSurface.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// How a segment wholly inside the picture is stepped over: from (fx, fy)
// by (stepX, stepY) in fixed point with 16 bits of fraction, `steps` + 1
// times, with a run of `run` pixels across the line at each step, down a
// column (flat) or along a row (steep).
struct SegmentSteps {
    std::int64_t fx, fy, stepX, stepY;
    int steps, run;
    bool flat;
};

constexpr double kFixedOne = 65536;

// A point in pixels (no initial values: arrays of them are filled at once).
struct PixelPoint {
    double x, y;
};

// A nib of `nibPixels` measured across a line of extent (dx, dy), at
// least one pixel.
inline double acrossLine(double dx, double dy, double nibPixels) {
    const double major = std::max(std::fabs(dx), std::fabs(dy));
    const double length = std::sqrt(dx * dx + dy * dy);
    return major > 0 ? std::max(1.0, nibPixels * length / major) : nibPixels;
}

// The steps of a segment from (ax, ay), `flat` or steep, in `n` steps of
// (sx, sy) pixels, for a nib `across` pixels across it; its start is moved
// back by half of that across the line.
inline SegmentSteps stepsFrom(double ax, double ay, bool flat, int n, double across, double sx,
                              double sy) {
    const double back = across / 2 - 0.5;
    const double backX = flat ? 0.0 : back, backY = flat ? back : 0.0;
    return {roundToInt64((ax - backX) * kFixedOne),
            roundToInt64((ay - backY) * kFixedOne),
            roundToInt64(sx * kFixedOne),
            roundToInt64(sy * kFixedOne),
            n,
            std::max(1, static_cast<int>(across + 0.5)),
            flat};
}

// Even the shortest chord of an arc inks its pixels: at least one step.
inline int stepCount(double major) {
    return std::max(1, ceilToInt(major));
}

// The steps of the segment a-b for a nib `across` pixels across it.
inline SegmentSteps segmentSteps(double ax, double ay, double bx, double by, double across) {
    const double dx = bx - ax, dy = by - ay;
    const double adx = std::fabs(dx), ady = std::fabs(dy);
    const int n = stepCount(std::max(adx, ady));
    return stepsFrom(ax, ay, adx >= ady, n, across, dx / n, dy / n);
}

#if defined(__SSE2__)
// roundToInt64 of two numbers well inside 2^51 at once: added to 1.5 * 2^52
// a number is rounded to a whole one (ties to even, in the default rounding
// mode, which nothing here changes) held in the low bits of the sum; a tie
// so rounded toward zero is then moved away from it.
inline __m128i roundPair(__m128d v) {
    const __m128d magic = _mm_set1_pd(6755399441055744.0);
    const __m128d sum = _mm_add_pd(v, magic);
    const __m128d rest = _mm_sub_pd(v, _mm_sub_pd(sum, magic)); // exact
    const __m128i whole = _mm_sub_epi64(_mm_castpd_si128(sum), _mm_castpd_si128(magic));
    const __m128d zero = _mm_setzero_pd();
    const __m128d up = _mm_and_pd(_mm_cmpeq_pd(rest, _mm_set1_pd(0.5)), _mm_cmpgt_pd(v, zero));
    const __m128d down = _mm_and_pd(_mm_cmpeq_pd(rest, _mm_set1_pd(-0.5)), _mm_cmplt_pd(v, zero));
    // The masks are -1 where they hold.
    return _mm_add_epi64(_mm_sub_epi64(whole, _mm_castpd_si128(up)), _mm_castpd_si128(down));
}

// The steps of the two segments a-b and b-c for a nib of `nibPixels`: the
// same numbers as acrossLine and segmentSteps give one by one (each lane
// rounds as the scalar instruction does), but every square root and
// division made for both in one instruction, which halves the time the
// divider is busy -- the most of a short segment's set-up.
inline void segmentStepsPair(double ax, double ay, double bx, double by, double cx, double cy,
                             double nibPixels, SegmentSteps& first, SegmentSteps& second) {
    const __m128d dx = _mm_sub_pd(_mm_set_pd(cx, bx), _mm_set_pd(bx, ax));
    const __m128d dy = _mm_sub_pd(_mm_set_pd(cy, by), _mm_set_pd(by, ay));
    const __m128d sign = _mm_set1_pd(-0.0);
    const __m128d adx = _mm_andnot_pd(sign, dx), ady = _mm_andnot_pd(sign, dy);
    // std::max(adx, ady) is ady only where adx < ady.
    const __m128d steep = _mm_cmplt_pd(adx, ady);
    const __m128d major = _mm_or_pd(_mm_and_pd(steep, ady), _mm_andnot_pd(steep, adx));
    const __m128d length = _mm_sqrt_pd(_mm_add_pd(_mm_mul_pd(dx, dx), _mm_mul_pd(dy, dy)));
    const __m128d nib = _mm_set1_pd(nibPixels);
    const __m128d ratio = _mm_div_pd(_mm_mul_pd(nib, length), major);
    // std::max(1.0, ratio) is ratio only where 1 < ratio; a segment of no
    // length has the nib itself.
    const __m128d one = _mm_set1_pd(1.0);
    const __m128d wider = _mm_cmplt_pd(one, ratio);
    const __m128d atLeastOne = _mm_or_pd(_mm_and_pd(wider, ratio), _mm_andnot_pd(wider, one));
    const __m128d some = _mm_cmpgt_pd(major, _mm_setzero_pd());
    const __m128d across = _mm_or_pd(_mm_and_pd(some, atLeastOne), _mm_andnot_pd(some, nib));
    alignas(16) double m[2], a[2];
    _mm_store_pd(m, major);
    _mm_store_pd(a, across);
    const int n0 = stepCount(m[0]), n1 = stepCount(m[1]);
    const __m128d n = _mm_set_pd(n1, n0);
    // As stepsFrom: the start moved back across the line by half the nib.
    const __m128d back = _mm_sub_pd(_mm_mul_pd(across, _mm_set1_pd(0.5)), _mm_set1_pd(0.5));
    const __m128d fixedOne = _mm_set1_pd(kFixedOne);
    const __m128d startX = _mm_sub_pd(_mm_set_pd(bx, ax), _mm_and_pd(steep, back));
    const __m128d startY = _mm_sub_pd(_mm_set_pd(by, ay), _mm_andnot_pd(steep, back));
    alignas(16) std::int64_t fx[2], fy[2], stepX[2], stepY[2];
    _mm_store_si128(reinterpret_cast<__m128i*>(fx), roundPair(_mm_mul_pd(startX, fixedOne)));
    _mm_store_si128(reinterpret_cast<__m128i*>(fy), roundPair(_mm_mul_pd(startY, fixedOne)));
    _mm_store_si128(reinterpret_cast<__m128i*>(stepX),
                    roundPair(_mm_mul_pd(_mm_div_pd(dx, n), fixedOne)));
    _mm_store_si128(reinterpret_cast<__m128i*>(stepY),
                    roundPair(_mm_mul_pd(_mm_div_pd(dy, n), fixedOne)));
    const int flat = ~_mm_movemask_pd(steep);
    first = {fx[0],          fy[0], stepX[0],
             stepY[0],       n0,    std::max(1, static_cast<int>(a[0] + 0.5)),
             (flat & 1) != 0};
    second = {fx[1],          fy[1], stepX[1],
              stepY[1],       n1,    std::max(1, static_cast<int>(a[1] + 0.5)),
              (flat & 2) != 0};
}
#endif

// At each of the `steps` + 1 places from (fx, fy) by (stepX, stepY), two
// a turn: half the counting, and the two places worked out side by side.
template <typename Ink>
KESTO_SHORT_RUNS inline void stepAlong(std::uint8_t* pixels, std::ptrdiff_t stride, std::int64_t fx,
                                       std::int64_t fy, std::int64_t stepX, std::int64_t stepY,
                                       int steps, const Ink& ink) {
    const auto at = [&](std::int64_t x, std::int64_t y) {
        return pixels + (y >> 16) * stride + (x >> 16);
    };
    const std::int64_t twoX = 2 * stepX, twoY = 2 * stepY;
    int i = 0;
    for (; i < steps; i += 2, fx += twoX, fy += twoY) {
        ink(at(fx, fy));
        ink(at(fx + stepX, fy + stepY));
    }
    if (i == steps) ink(at(fx, fy));
}

// `Run` pixels side by side in a row, in as few stores as hold them.
template <int Run> inline void inkRow(std::uint8_t* p, std::uint8_t ink) {
    const std::uint32_t four = ink * 0x01010101u;
    std::memcpy(p, &four, Run >= 4 ? 4 : Run >= 2 ? 2 : 1);
    if constexpr (Run == 3) p[2] = ink;
}

// The steps of a segment wholly inside the picture, in fixed point with 16
// bits of fraction: at each, `run` pixels across the line, `apart` bytes
// from one to the next (a row for a flat segment, a column for a steep one).
// The usual runs of one to four pixels have loops of their own, unrolled;
// along a row they take one or two stores a step.
template <int Run>
KESTO_SHORT_RUNS inline void inkRuns(std::uint8_t* pixels, std::ptrdiff_t stride,
                                     std::ptrdiff_t apart, std::int64_t fx, std::int64_t fy,
                                     std::int64_t stepX, std::int64_t stepY, int steps, int run,
                                     std::uint8_t ink) {
    if constexpr (Run >= 2 && Run <= 4) {
        if (apart == 1) {
            stepAlong(pixels, stride, fx, fy, stepX, stepY, steps,
                      [ink](std::uint8_t* p) { inkRow<Run>(p, ink); });
            return;
        }
    }
    stepAlong(pixels, stride, fx, fy, stepX, stepY, steps, [&](std::uint8_t* p) {
        for (int k = 0; k < (Run > 0 ? Run : run); ++k)
            p[k * apart] = ink;
    });
}

// A segment of one or two steps (the chords of arcs, the steps of a traced
// outline, most segments of a drawing): its two or three places without a
// loop to mispredict; a single step writes its end twice.
KESTO_SHORT_RUNS inline void inkShort(std::uint8_t* pixels, std::ptrdiff_t stride,
                                      const SegmentSteps& s, std::uint8_t ink) {
    const std::ptrdiff_t apart = s.flat ? stride : 1;
    std::uint8_t* const first = pixels + (s.fy >> 16) * stride + (s.fx >> 16);
    std::uint8_t* const second =
        pixels + ((s.fy + s.stepY) >> 16) * stride + ((s.fx + s.stepX) >> 16);
    std::uint8_t* const last =
        pixels + ((s.fy + s.steps * s.stepY) >> 16) * stride + ((s.fx + s.steps * s.stepX) >> 16);
    for (int k = 0; k < s.run; ++k) {
        first[k * apart] = ink;
        second[k * apart] = ink;
        last[k * apart] = ink;
    }
}

// The nib's square of `Side` pixels (of `side` when 0) at each point, all
// well inside the picture: no test of the clip, and the floor of a positive
// number is its whole part.
template <int Side>
KESTO_SHORT_RUNS inline void inkSquares(std::uint8_t* pixels, std::ptrdiff_t stride,
                                        const PixelPoint* at, std::size_t count, double half,
                                        int side, std::uint8_t ink) {
    for (std::size_t i = 0; i < count; ++i) {
        const auto x0 = static_cast<std::ptrdiff_t>(at[i].x - half + 0.5);
        const auto y0 = static_cast<std::ptrdiff_t>(at[i].y - half + 0.5);
        std::uint8_t* p = pixels + y0 * stride + x0;
        const int n = Side > 0 ? Side : side;
        for (int y = 0; y < n; ++y, p += stride)
            for (int x = 0; x < n; ++x)
                p[x] = ink;
    }
}

inline void inkNibs(std::uint8_t* pixels, std::ptrdiff_t stride, const PixelPoint* at,
                    std::size_t count, double nibPixels, int side, std::uint8_t ink) {
    const double half = nibPixels / 2;
    switch (side) {
    case 1: inkSquares<1>(pixels, stride, at, count, half, side, ink); break;
    case 2: inkSquares<2>(pixels, stride, at, count, half, side, ink); break;
    case 3: inkSquares<3>(pixels, stride, at, count, half, side, ink); break;
    case 4: inkSquares<4>(pixels, stride, at, count, half, side, ink); break;
    default: inkSquares<0>(pixels, stride, at, count, half, side, ink); break;
    }
}

// Locals, not members: stores of bytes could alias them.
inline void inkSteps(std::uint8_t* pixels, std::ptrdiff_t stride, const SegmentSteps& s,
                     std::uint8_t ink) {
    const std::ptrdiff_t apart = s.flat ? stride : 1;
    switch (s.run) {
    case 1: inkRuns<1>(pixels, stride, apart, s.fx, s.fy, s.stepX, s.stepY, s.steps, 1, ink); break;
    case 2: inkRuns<2>(pixels, stride, apart, s.fx, s.fy, s.stepX, s.stepY, s.steps, 2, ink); break;
    case 3: inkRuns<3>(pixels, stride, apart, s.fx, s.fy, s.stepX, s.stepY, s.steps, 3, ink); break;
    case 4: inkRuns<4>(pixels, stride, apart, s.fx, s.fy, s.stepX, s.stepY, s.steps, 4, ink); break;
    default:
        inkRuns<0>(pixels, stride, apart, s.fx, s.fy, s.stepX, s.stepY, s.steps, s.run, ink);
        break;
    }
}

} // namespace kesto::render::raster
