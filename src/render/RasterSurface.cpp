#include "render/RasterSurface.h"

#include "render/PenTable.h"
#include "render/PlotterUnits.h"
#include "render/RasterSteps.h"

#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cmath>

namespace kesto::render {

namespace {

using namespace raster;

constexpr int kLevels = 15; // strengths of a pen besides none
constexpr std::uint8_t kWhite = 0, kFrameGrey = 1, kFrameBlue = 2, kFirstPen = 3;
constexpr int kPenLooks = 8;

std::uint8_t penBase(int pen) {
    const int look = pen < 1 ? 0 : (pen - 1) % kPenLooks;
    return static_cast<std::uint8_t>(kFirstPen + look * kLevels);
}

} // namespace

QList<QRgb> RasterSurface::palette() {
    QList<QRgb> colours{qRgb(255, 255, 255), qRgb(0xC8, 0xC8, 0xC8), qRgb(0x9E, 0xCA, 0xE1)};
    for (int look = 0; look < kPenLooks; ++look) {
        const std::uint32_t rgb = penLook(look + 1).rgb;
        const int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
        for (int k = 1; k <= kLevels; ++k) {
            const auto mix = [k](int c) {
                return (c * k + 255 * (kLevels - k) + kLevels / 2) / kLevels;
            };
            colours.push_back(qRgb(mix(r), mix(g), mix(b)));
        }
    }
    return colours;
}

RasterSurface::RasterSurface(QImage& image, const QTransform& toDevice, const Rect& sheet)
    : pixels_(image.bits()), stride_(image.bytesPerLine()), width_(image.width()),
      height_(image.height()), toDevice_(toDevice), sheet_(sheet), font_(plotterFont()),
      box_(fontBox(font_)) {
    setClip(nullptr);
}

void RasterSurface::frame(const Rect* window) {
    ink_ = kFrameGrey;
    for (int x : {0, width_ - 1})
        span(x, 0, height_ - 1, true);
    for (int y : {0, height_ - 1})
        span(y, 0, width_ - 1, false);
    if (!window) return;
    ink_ = kFrameBlue;
    // Only what can show: a window far larger than the sheet is cut first.
    const QRectF limit(-16, -16, width_ + 32.0, height_ + 32.0);
    const QRect w =
        toDevice_.mapRect(QRectF(window->left, window->bottom, window->width(), window->height()))
            .intersected(limit)
            .toRect();
    // Dashes of six pixels with gaps of four.
    for (int x = w.left(); x <= w.right(); x += 10) {
        span(w.top(), x, std::min(x + 5, w.right()), false);
        span(w.bottom(), x, std::min(x + 5, w.right()), false);
    }
    for (int y = w.top(); y <= w.bottom(); y += 10) {
        span(w.left(), y, std::min(y + 5, w.bottom()), true);
        span(w.right(), y, std::min(y + 5, w.bottom()), true);
    }
    currentPen_ = -1;
}

void RasterSurface::setClip(const Rect* window) {
    Rect r = sheet_;
    if (window) {
        r.left = std::max(r.left, window->left);
        r.bottom = std::max(r.bottom, window->bottom);
        r.right = std::min(r.right, window->right);
        r.top = std::min(r.top, window->top);
    }
    const QRectF device = toDevice_.mapRect(QRectF(r.left, r.bottom, r.width(), r.height()));
    clipX0_ = std::max(0, floorToInt(device.left()));
    clipY0_ = std::max(0, floorToInt(device.top()));
    clipX1_ = std::min(width_ - 1, -floorToInt(-device.right()) - 1);
    clipY1_ = std::min(height_ - 1, -floorToInt(-device.bottom()) - 1);
}

void RasterSurface::usePen(int pen) {
    if (pen == currentPen_) return;
    currentPen_ = pen;
    base_ = penBase(pen);
    ink_ = static_cast<std::uint8_t>(base_ + kLevels - 1);
    nibPixels_ = std::max(1.0, penLook(pen).widthMm * kUnitsPerMm * std::fabs(toDevice_.m11()));
    nibSide_ = std::max(1, static_cast<int>(std::lround(nibPixels_)));
}

// One run of ink: column `line` from row `from` to `to` (vertical), or row
// `line` from column `from` to `to`; clipped.
KESTO_SHORT_RUNS void RasterSurface::span(int line, int from, int to, bool vertical) {
    if (vertical) {
        if (line < clipX0_ || line > clipX1_) return;
        from = std::max(from, clipY0_);
        to = std::min(to, clipY1_);
        std::uint8_t* p = pixels_ + static_cast<std::ptrdiff_t>(from) * stride_ + line;
        for (int y = from; y <= to; ++y, p += stride_)
            *p = ink_;
    } else {
        if (line < clipY0_ || line > clipY1_) return;
        from = std::max(from, clipX0_);
        to = std::min(to, clipX1_);
        std::uint8_t* p = pixels_ + static_cast<std::ptrdiff_t>(line) * stride_;
        for (int x = from; x <= to; ++x)
            p[x] = ink_;
    }
}

// A square of the nib's size centred on (cx, cy): line ends and corners.
KESTO_SHORT_RUNS void RasterSurface::nib(double cx, double cy) {
    const int x0 = floorToInt(cx - nibPixels_ / 2 + 0.5);
    const int y0 = floorToInt(cy - nibPixels_ / 2 + 0.5);
    const int side = nibSide_;
    if (x0 >= clipX0_ && x0 + side - 1 <= clipX1_ && y0 >= clipY0_ && y0 + side - 1 <= clipY1_) {
        // Wholly inside the clip (the usual case): no test per row.
        const std::uint8_t ink = ink_;
        std::uint8_t* p = pixels_ + static_cast<std::ptrdiff_t>(y0) * stride_ + x0;
        for (int y = 0; y < side; ++y, p += stride_)
            for (int x = 0; x < side; ++x)
                p[x] = ink;
        return;
    }
    for (int y = y0; y < y0 + side; ++y)
        span(y, x0, x0 + side - 1, false);
}

// A segment in pixels, already cut to the clip and a margin, drawn with the
// pen's nib: at every step along the major axis a run across it, as thick
// as the nib measured across the line.
KESTO_SHORT_RUNS void RasterSurface::segment(double ax, double ay, double bx, double by) {
    const double dx = bx - ax, dy = by - ay;
    const double across = acrossLine(dx, dy, nibPixels_);
    // Wholly inside the clip (the usual case): no test per pixel.
    const double margin = across + 2;
    if (std::min(ax, bx) - margin >= clipX0_ && std::max(ax, bx) + margin <= clipX1_ &&
        std::min(ay, by) - margin >= clipY0_ && std::max(ay, by) + margin <= clipY1_) {
        inkSteps(pixels_, stride_, segmentSteps(ax, ay, bx, by, across), ink_);
        return;
    }
    const double major = std::max(std::fabs(dx), std::fabs(dy));
    const int n = std::max(1, ceilToInt(major));
    const double sx = n == 1 ? dx : dx / n, sy = n == 1 ? dy : dy / n;
    const int run = std::max(1, static_cast<int>(across + 0.5));
    const double back = across / 2 - 0.5;
    double x = ax, y = ay;
    if (std::fabs(dx) >= std::fabs(dy)) {
        for (int i = 0; i <= n; ++i, x += sx, y += sy) {
            const int y0 = floorToInt(y - back);
            span(floorToInt(x), y0, y0 + run - 1, true);
        }
    } else {
        for (int i = 0; i <= n; ++i, x += sx, y += sy) {
            const int x0 = floorToInt(x - back);
            span(floorToInt(y), x0, x0 + run - 1, false);
        }
    }
}

// A path is drawn in pieces of at most kPiecePoints points, one point
// shared between neighbours; every mark of one path has the same ink, so
// the order of its pixels does not matter.
void RasterSurface::stroke(int pen, const Point* points, std::size_t count) {
    if (count == 0 || clipX1_ < clipX0_ || clipY1_ < clipY0_) return;
    usePen(pen);
    PixelPoint device[kPiecePoints];
    for (std::size_t from = 0;;) {
        const std::size_t n = std::min(kPiecePoints, count - from);
        const bool inside = toPixels(points + from, n, device);
        if (inside) {
            inkPiece(device, n);
        } else {
            cutPiece(device, n);
        }
        nibsOfPiece(device, n, inside, from == 0, from + n == count);
        if (from + n == count) return;
        from += n - 1;
    }
}

// A round nib leaves its mark at the ends and at every corner; a nib of one
// pixel needs the marks only where the path starts and ends.  A piece's
// first point is the last of the piece before (marked there) unless it
// starts the path.
void RasterSurface::nibsOfPiece(const PixelPoint* device, std::size_t count, bool inside,
                                bool starts, bool ends) {
    const bool corners = nibSide_ >= 2;
    const std::size_t first = starts ? 0 : 1;
    if (inside && corners) {
        inkNibs(pixels_, stride_, device + first, count - first, nibPixels_, nibSide_, ink_);
        return;
    }
    if (inside) {
        if (starts) inkNibs(pixels_, stride_, device, 1, nibPixels_, nibSide_, ink_);
        if (ends) inkNibs(pixels_, stride_, device + count - 1, 1, nibPixels_, nibSide_, ink_);
        return;
    }
    for (std::size_t i = first; i < count; ++i) {
        if (corners || i == 0 || (ends && i + 1 == count)) nib(device[i].x, device[i].y);
    }
}

// The points in pixels; true when every one lies inside the clip with room
// for the nib across any segment (at most its size times the square root of
// two): then no segment needs cutting or a test per pixel.  False for any
// point that is not a number.
bool RasterSurface::toPixels(const Point* points, std::size_t count, PixelPoint* device) const {
    const double m11 = toDevice_.m11(), m22 = toDevice_.m22();
    const double tx = toDevice_.dx(), ty = toDevice_.dy();
    const double room = std::max(1.0, nibPixels_ * 1.5) + 2;
    const double x0 = clipX0_ + room, x1 = clipX1_ - room;
    const double y0 = clipY0_ + room, y1 = clipY1_ - room;
#if defined(__SSE2__)
    // x and y of a point side by side, each lane as the scalar instruction.
    const __m128d scale = _mm_set_pd(m22, m11), shift = _mm_set_pd(ty, tx);
    const __m128d low = _mm_set_pd(y0, x0), high = _mm_set_pd(y1, x1);
    __m128d inside = _mm_cmpeq_pd(scale, scale);
    for (std::size_t i = 0; i < count; ++i) {
        const __m128d p = _mm_add_pd(_mm_mul_pd(_mm_loadu_pd(&points[i].x), scale), shift);
        _mm_storeu_pd(&device[i].x, p);
        inside = _mm_and_pd(inside, _mm_and_pd(_mm_cmpge_pd(p, low), _mm_cmple_pd(p, high)));
    }
    return _mm_movemask_pd(inside) == 3;
#else
    bool inside = true;
    for (std::size_t i = 0; i < count; ++i) {
        const double x = points[i].x * m11 + tx, y = points[i].y * m22 + ty;
        device[i] = {x, y};
        inside = inside && x >= x0 && x <= x1 && y >= y0 && y <= y1;
    }
    return inside;
#endif
}

// The segments of a piece well inside the clip: first every set-up, then
// every run of ink.
KESTO_SHORT_RUNS void RasterSurface::inkPiece(const PixelPoint* device, std::size_t count) {
    SegmentSteps steps[kPiecePoints];
    const double nib = nibPixels_;
    std::size_t i = 1;
#if defined(__SSE2__)
    for (; i + 1 < count; i += 2) {
        const PixelPoint a = device[i - 1], b = device[i], c = device[i + 1];
        segmentStepsPair(a.x, a.y, b.x, b.y, c.x, c.y, nib, steps[i - 1], steps[i]);
    }
#endif
    for (; i < count; ++i) {
        const PixelPoint a = device[i - 1], b = device[i];
        steps[i - 1] = segmentSteps(a.x, a.y, b.x, b.y, acrossLine(b.x - a.x, b.y - a.y, nib));
    }
    std::uint8_t* const pixels = pixels_;
    const std::ptrdiff_t stride = stride_;
    const std::uint8_t ink = ink_;
    for (std::size_t k = 0; k + 1 < count; ++k) {
        if (steps[k].steps <= 2) {
            inkShort(pixels, stride, steps[k], ink);
        } else {
            inkSteps(pixels, stride, steps[k], ink);
        }
    }
}

// The segments of a piece that may reach beyond the clip: each cut to the
// clip and a margin wider than the nib, so that only pixels near the
// picture are ever stepped over.
void RasterSurface::cutPiece(const PixelPoint* device, std::size_t count) {
    const double margin = nibPixels_ + 2;
    const double left = clipX0_ - margin, right = clipX1_ + 1 + margin;
    const double top = clipY0_ - margin, bottom = clipY1_ + 1 + margin;
    for (std::size_t i = 1; i < count; ++i) {
        double ax = device[i - 1].x, ay = device[i - 1].y, bx = device[i].x, by = device[i].y;
        if (clipSegment(ax, ay, bx, by, left, top, right, bottom)) segment(ax, ay, bx, by);
    }
}

// Drawn characters kept for copying; the cache starts afresh beyond this.
constexpr std::size_t kMaxCachedGlyphs = 20000;
// Glyph pictures larger than this many pixels are not drawn.
constexpr double kMaxGlyphPixels = 4e6;
// How far a character's body may be squeezed or sheared on the picture: the
// font library fails (and the painter with it) on bodies far thinner than
// tall, which no plotter label is.
constexpr double kMaxGlyphDistortion = 64;

// Whether the character's body, as it lands on the picture, is a shape the
// font library can draw: finite, and neither squeezed nor sheared beyond
// kMaxGlyphDistortion (its longer side squared over its area).
bool drawableShape(const QTransform& linear, const Glyph& g) {
    const double ax = g.along.x, ay = g.along.y;
    // The body's sides on the picture: the width along the writing direction,
    // the height across it, sheared by the slant.
    const QPointF width = linear.map(QPointF(g.w * ax, g.w * ay));
    const QPointF height =
        linear.map(QPointF(g.h * (-ay + g.slant * ax), g.h * (ax + g.slant * ay)));
    const double area = std::fabs(width.x() * height.y() - width.y() * height.x());
    const double longer =
        std::max(std::hypot(width.x(), width.y()), std::hypot(height.x(), height.y()));
    if (!std::isfinite(area) || !std::isfinite(longer) || area <= 0) return false;
    return longer * longer / area <= kMaxGlyphDistortion;
}

// A character is drawn once per look (code, size, direction, slant) as
// strengths of ink and copied from there in the pen's colour.
void RasterSurface::glyph(int pen, const Glyph& g) {
    usePen(pen);
    const GlyphKey key{g.code,
                       g.width == GlyphWidth::Full ? 1 : 0,
                       std::lround(g.w * 4),
                       std::lround(g.h * 4),
                       std::lround(g.along.x * 10000),
                       std::lround(g.along.y * 10000),
                       std::lround(g.slant * 1000)};
    auto it = glyphs_.find(key);
    if (it == glyphs_.end()) {
        if (glyphs_.size() > kMaxCachedGlyphs) glyphs_.clear();
        Glyph atZero = g;
        atZero.origin = {0, 0};
        // Pixels without the translation: the glyph's origin at 0.
        const QTransform linear(toDevice_.m11(), toDevice_.m12(), toDevice_.m21(), toDevice_.m22(),
                                0, 0);
        // Room for descenders and overhangs around the body box.
        const double w = std::fabs(g.w), h = std::fabs(g.h);
        QPolygonF box;
        for (const QPointF& p : {QPointF(-0.5 * w, -0.6 * h), QPointF(1.5 * w, -0.6 * h),
                                 QPointF(1.5 * w, 1.6 * h), QPointF(-0.5 * w, 1.6 * h)}) {
            const double ux = g.along.x, uy = g.along.y;
            const double x = p.x() + g.slant * p.y();
            box << linear.map(QPointF(x * ux - p.y() * uy, x * uy + p.y() * ux));
        }
        // A body too large for whole pixel numbers is not drawn.
        const QRectF area = box.boundingRect();
        const bool sized = std::isfinite(area.width()) && std::isfinite(area.height()) &&
                           (area.width() + 4) * (area.height() + 4) < kMaxGlyphPixels &&
                           std::fabs(area.left()) < 1e9 && std::fabs(area.top()) < 1e9;
        const QRect bounds = sized ? area.toAlignedRect().adjusted(-2, -2, 2, 2) : QRect();
        CachedGlyph cached;
        if (sized && bounds.width() > 0 && bounds.height() > 0 &&
            static_cast<double>(bounds.width()) * bounds.height() < kMaxGlyphPixels &&
            drawableShape(linear, g)) {
            QImage image(bounds.size(), QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            {
                QPainter gp(&image);
                gp.setRenderHint(QPainter::Antialiasing, true);
                gp.setRenderHint(QPainter::TextAntialiasing, true);
                gp.setPen(Qt::black);
                gp.setFont(font_);
                gp.setWorldTransform(glyphToPlotter(atZero, box_) * linear *
                                     QTransform::fromTranslate(-bounds.left(), -bounds.top()));
                gp.drawText(QPointF(0, 0), glyphText(g.code));
            }
            // Only the inked part is kept.
            int l = image.width(), t = image.height(), r = -1, b = -1;
            for (int y = 0; y < image.height(); ++y) {
                const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
                for (int x = 0; x < image.width(); ++x) {
                    if (qAlpha(row[x]) * kLevels < 128) continue;
                    l = std::min(l, x);
                    r = std::max(r, x);
                    t = std::min(t, y);
                    b = std::max(b, y);
                }
            }
            if (r >= 0) {
                cached.left = bounds.left() + l;
                cached.top = bounds.top() + t;
                cached.width = r - l + 1;
                cached.height = b - t + 1;
                cached.strength.resize(static_cast<std::size_t>(cached.width) * cached.height);
                for (int y = 0; y < cached.height; ++y) {
                    const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(t + y));
                    for (int x = 0; x < cached.width; ++x) {
                        cached.strength[static_cast<std::size_t>(y) * cached.width + x] =
                            static_cast<std::uint8_t>((qAlpha(row[l + x]) * kLevels + 127) / 255);
                    }
                }
            }
        }
        it = glyphs_.emplace(key, std::move(cached)).first;
    }
    const CachedGlyph& c = it->second;
    if (c.strength.empty()) return;
    const QPointF at = toDevice_.map(QPointF(g.origin.x, g.origin.y));
    const int left = roundToInt(at.x()) + c.left;
    const int top = roundToInt(at.y()) + c.top;
    const int x0 = std::max(left, clipX0_), x1 = std::min(left + c.width - 1, clipX1_);
    const int y0 = std::max(top, clipY0_), y1 = std::min(top + c.height - 1, clipY1_);
    // Weak edges only on white paper; over other ink the stronger half of
    // the edge is drawn in full, the weaker left out.  Without branches, so
    // that a row goes at the speed of the memory: a strength of 0 leaves the
    // pixel as it is either way.
    const std::uint8_t ink = ink_;
    const auto belowBase = static_cast<std::uint8_t>(base_ - 1);
    const int n = x1 - x0 + 1;
    for (int y = y0; y <= y1; ++y) {
        const std::uint8_t* __restrict s =
            c.strength.data() + static_cast<std::size_t>(y - top) * c.width + (x0 - left);
        std::uint8_t* __restrict d = pixels_ + static_cast<std::ptrdiff_t>(y) * stride_ + x0;
        for (int x = 0; x < n; ++x) {
            const std::uint8_t level = s[x], was = d[x];
            const std::uint8_t onWhite =
                level != 0 ? static_cast<std::uint8_t>(belowBase + level) : kWhite;
            const std::uint8_t onInk = level * 2 > kLevels ? ink : was;
            d[x] = was == kWhite ? onWhite : onInk;
        }
    }
}

} // namespace kesto::render
