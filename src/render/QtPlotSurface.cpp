#include "render/QtPlotSurface.h"

#include "render/PenTable.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainterPath>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <mutex>

namespace kesto::render {

namespace {

constexpr double kUnitsPerMm = 40;
constexpr int kReferencePixels = 100; // the font's size before the glyph transform

QColor colourOf(int pen) {
    const PenLook look = penLook(pen);
    return QColor::fromRgb((look.rgb >> 16) & 0xFF, (look.rgb >> 8) & 0xFF, look.rgb & 0xFF);
}

} // namespace

QFont plotterFont() {
    static std::once_flag once;
    static QString family;
    std::call_once(once, [] {
        const char* const candidates[] = {"/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf",
                                          "/usr/share/fonts/truetype/fonts-japanese-gothic.ttf"};
        for (const char* path : candidates) {
            if (!QFile::exists(QString::fromUtf8(path))) continue;
            const int id = QFontDatabase::addApplicationFont(QString::fromUtf8(path));
            const QStringList families = QFontDatabase::applicationFontFamilies(id);
            if (!families.isEmpty()) {
                family = families.front();
                break;
            }
        }
    });
    QFont font = family.isEmpty() ? QFont(QStringLiteral("IPAGothic")) : QFont(family);
    if (family.isEmpty()) font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(kReferencePixels);
    font.setKerning(false);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

QtPlotSurface::QtPlotSurface(QPainter& painter, const QTransform& toDevice, const Rect& sheet,
                             QImage* raster)
    : painter_(painter), toDevice_(toDevice), sheet_(sheet), font_(plotterFont()) {
    painter_.setWorldTransform(toDevice_);
    painter_.setBrush(Qt::NoBrush);
    qpen_.setCapStyle(Qt::RoundCap);
    qpen_.setJoinStyle(Qt::RoundJoin);
    if (raster && raster->format() == QImage::Format_RGB32 &&
        toDevice_.type() <= QTransform::TxScale) {
        pixels_ = reinterpret_cast<std::uint32_t*>(raster->bits());
        stride_ = raster->bytesPerLine() / 4;
    }
    const QFontMetricsF fm(font_);
    halfAdvance_ = fm.horizontalAdvance(QChar(u'0'));
    fullAdvance_ = fm.horizontalAdvance(QChar(u'\u6F22'));
    capHeight_ = fm.capHeight();
    ascent_ = fm.ascent();
    descent_ = fm.descent();
    if (!(halfAdvance_ > 0)) halfAdvance_ = kReferencePixels / 2.0;
    if (!(fullAdvance_ > 0)) fullAdvance_ = kReferencePixels;
    if (!(capHeight_ > 0)) capHeight_ = kReferencePixels * 0.7;
    if (!(ascent_ + descent_ > 0)) ascent_ = kReferencePixels, descent_ = 0;
    const double scale = std::hypot(toDevice_.m11(), toDevice_.m12());
    minimumWidth_ = scale > 0 ? 1 / scale : 0;
    setClip(nullptr);
}

void QtPlotSurface::setClip(const Rect* window) {
    Rect r = sheet_;
    if (window) {
        r.left = std::max(r.left, window->left);
        r.bottom = std::max(r.bottom, window->bottom);
        r.right = std::min(r.right, window->right);
        r.top = std::min(r.top, window->top);
        if (r.right < r.left) r.right = r.left;
        if (r.top < r.bottom) r.top = r.bottom;
    }
    const QRectF plotter(r.left, r.bottom, r.width(), r.height());
    flushStrokes();
    painter_.setClipRect(plotter);
    if (pixels_) {
        const QRectF device = toDevice_.mapRect(plotter);
        const QRect bounds =
            painter_.device() ? QRect(0, 0, painter_.device()->width(), painter_.device()->height())
                              : QRect();
        clipX0_ = std::max(bounds.left(), static_cast<int>(std::floor(device.left())));
        clipY0_ = std::max(bounds.top(), static_cast<int>(std::floor(device.top())));
        clipX1_ = std::min(bounds.right(), static_cast<int>(std::ceil(device.right())) - 1);
        clipY1_ = std::min(bounds.bottom(), static_cast<int>(std::ceil(device.bottom())) - 1);
    }
}

void QtPlotSurface::usePen(int pen) {
    if (pen == currentPen_) return;
    flushStrokes();
    currentPen_ = pen;
    const QColor colour = colourOf(pen);
    qpen_.setColor(colour);
    qpen_.setWidthF(std::max(penLook(pen).widthMm * kUnitsPerMm, minimumWidth_));
    painter_.setPen(qpen_);
    argb_ = colour.rgb() | 0xFF000000u;
    nibPixels_ = std::max(1.0, qpen_.widthF() * std::fabs(toDevice_.m11()));
    nibSide_ = std::max(1, static_cast<int>(std::lround(nibPixels_)));
}

// One run of nib pixels across a line: column x from y0 to y1 (vertical) or
// row x from y0 to y1.
void QtPlotSurface::rasterSpan(int x, int y0, int y1, bool vertical) {
    if (vertical) {
        if (x < clipX0_ || x > clipX1_) return;
        y0 = std::max(y0, clipY0_);
        y1 = std::min(y1, clipY1_);
        std::uint32_t* p = pixels_ + static_cast<std::ptrdiff_t>(y0) * stride_ + x;
        for (int y = y0; y <= y1; ++y, p += stride_)
            *p = argb_;
    } else {
        if (x < clipY0_ || x > clipY1_) return;
        y0 = std::max(y0, clipX0_);
        y1 = std::min(y1, clipX1_);
        std::uint32_t* p = pixels_ + static_cast<std::ptrdiff_t>(x) * stride_;
        for (int y = y0; y <= y1; ++y)
            p[y] = argb_;
    }
}

namespace {

inline int floorToInt(double v) {
    const int i = static_cast<int>(v);
    return i > v ? i - 1 : i;
}

} // namespace

// A square of the nib's size centred on (cx, cy): line ends and joins.
void QtPlotSurface::rasterNib(double cx, double cy) {
    const int x0 = floorToInt(cx - nibPixels_ / 2 + 0.5);
    const int y0 = floorToInt(cy - nibPixels_ / 2 + 0.5);
    for (int x = x0; x < x0 + nibSide_; ++x)
        rasterSpan(x, y0, y0 + nibSide_ - 1, true);
}

// A segment in device pixels drawn with the pen's nib: at every step along
// the major axis a run across it, as thick as the nib measured across the
// line.  The ends are left to rasterNib.
void QtPlotSurface::rasterSegment(double ax, double ay, double bx, double by) {
    const double dx = bx - ax, dy = by - ay;
    const double adx = std::fabs(dx), ady = std::fabs(dy);
    const double major = std::max(adx, ady);
    if (major < 0.5 || major > 1e6) return; // a dot, or far outside any picture
    const double length = std::sqrt(dx * dx + dy * dy);
    const double across = std::max(1.0, nibPixels_ * length / major);
    const int n = static_cast<int>(std::ceil(major));
    const double sx = dx / n, sy = dy / n;
    const int run = std::max(1, static_cast<int>(across + 0.5));
    const double back = across / 2 - 0.5;
    double x = ax, y = ay;
    if (adx >= ady) {
        for (int i = 0; i <= n; ++i, x += sx, y += sy) {
            const int y0 = floorToInt(y - back);
            rasterSpan(floorToInt(x), y0, y0 + run - 1, true);
        }
    } else {
        for (int i = 0; i <= n; ++i, x += sx, y += sy) {
            const int x0 = floorToInt(x - back);
            rasterSpan(floorToInt(y), x0, x0 + run - 1, false);
        }
    }
}

void QtPlotSurface::stroke(int pen, const Point* points, std::size_t count) {
    if (count == 0) return;
    usePen(pen);
    if (pixels_) {
        if (clipX1_ < clipX0_ || clipY1_ < clipY0_) return;
        const double m11 = toDevice_.m11(), m22 = toDevice_.m22();
        const double tx = toDevice_.dx(), ty = toDevice_.dy();
        double ax = points[0].x * m11 + tx, ay = points[0].y * m22 + ty;
        // A round nib leaves its mark at the ends and at every corner; a nib
        // of one pixel needs the marks only where the path starts and ends.
        const bool corners = nibSide_ >= 2;
        rasterNib(ax, ay);
        for (std::size_t i = 1; i < count; ++i) {
            const double bx = points[i].x * m11 + tx, by = points[i].y * m22 + ty;
            rasterSegment(ax, ay, bx, by);
            if (corners || i + 1 == count) rasterNib(bx, by);
            ax = bx;
            ay = by;
        }
        return;
    }
    // Vector output: the strokes of one pen go out as one path, so the
    // document does not repeat the pen's state for every line.
    // Points go out in whole plotter steps, as the plotter moves: the
    // documents stay small and lose nothing the plotter could draw.
    strokes_.moveTo(std::round(points[0].x), std::round(points[0].y));
    if (count == 1) strokes_.lineTo(std::round(points[0].x), std::round(points[0].y));
    for (std::size_t i = 1; i < count; ++i)
        strokes_.lineTo(std::round(points[i].x), std::round(points[i].y));
    strokedPoints_ += count;
    if (strokedPoints_ > 20000) flushStrokes();
}

void QtPlotSurface::flushStrokes() {
    if (strokes_.isEmpty()) return;
    painter_.strokePath(strokes_, qpen_);
    strokes_.clear();
    strokedPoints_ = 0;
}

void QtPlotSurface::finish() {
    flushStrokes();
}

// A polygon filled straight into the pixels: every pixel whose centre is
// inside (even-odd or non-zero), scan line by scan line over the edges that
// cross it.
void QtPlotSurface::rasterFill(const std::vector<std::vector<Point>>& rings, bool evenOdd) {
    struct Edge {
        double x0, y0, x1, y1;
        int winding;
    };
    std::vector<Edge> edges;
    const double m11 = toDevice_.m11(), m22 = toDevice_.m22();
    const double tx = toDevice_.dx(), ty = toDevice_.dy();
    double top = 1e300, bottom = -1e300;
    for (const auto& ring : rings) {
        for (std::size_t i = 0; i < ring.size(); ++i) {
            const Point& a = ring[i];
            const Point& b = ring[(i + 1) % ring.size()];
            double ax = a.x * m11 + tx, ay = a.y * m22 + ty;
            double bx = b.x * m11 + tx, by = b.y * m22 + ty;
            if (ay == by) continue;
            int winding = 1;
            if (ay > by) {
                std::swap(ax, bx);
                std::swap(ay, by);
                winding = -1;
            }
            edges.push_back({ax, ay, bx, by, winding});
            top = std::min(top, ay);
            bottom = std::max(bottom, by);
        }
    }
    if (edges.empty()) return;
    std::sort(edges.begin(), edges.end(), [](const Edge& l, const Edge& r) { return l.y0 < r.y0; });
    const int yStart = std::max(clipY0_, static_cast<int>(std::ceil(top - 0.5)));
    const int yEnd = std::min(clipY1_, static_cast<int>(std::floor(bottom - 0.5)));
    std::vector<const Edge*> active;
    std::vector<std::pair<double, int>> crossings;
    std::size_t next = 0;
    for (int y = yStart; y <= yEnd; ++y) {
        const double cy = y + 0.5;
        while (next < edges.size() && edges[next].y0 <= cy)
            active.push_back(&edges[next++]);
        crossings.clear();
        std::size_t keep = 0;
        for (const Edge* e : active) {
            if (e->y1 <= cy) continue; // finished
            active[keep++] = e;
            if (e->y0 > cy) continue;
            crossings.emplace_back(e->x0 + (cy - e->y0) * (e->x1 - e->x0) / (e->y1 - e->y0),
                                   e->winding);
        }
        active.resize(keep);
        std::sort(crossings.begin(), crossings.end());
        int inside = 0;
        for (std::size_t i = 0; i + 1 < crossings.size(); ++i) {
            inside += crossings[i].second;
            const bool filled = evenOdd ? (i % 2 == 0) : inside != 0;
            if (!filled) continue;
            const int x0 = static_cast<int>(std::ceil(crossings[i].first - 0.5));
            const int x1 = static_cast<int>(std::ceil(crossings[i + 1].first - 0.5)) - 1;
            if (x1 >= x0) rasterSpan(y, x0, x1, false);
        }
    }
}

void QtPlotSurface::fill(int pen, const std::vector<std::vector<Point>>& rings, bool evenOdd) {
    flushStrokes();
    if (pixels_) {
        usePen(pen);
        rasterFill(rings, evenOdd);
        return;
    }
    QPainterPath path;
    path.setFillRule(evenOdd ? Qt::OddEvenFill : Qt::WindingFill);
    const bool steps = pixels_ == nullptr; // vector output: whole plotter steps
    const auto at = [steps](double v) { return steps ? std::round(v) : v; };
    for (const auto& ring : rings) {
        path.moveTo(at(ring[0].x), at(ring[0].y));
        for (std::size_t i = 1; i < ring.size(); ++i)
            path.lineTo(at(ring[i].x), at(ring[i].y));
        path.closeSubpath();
    }
    painter_.fillPath(path, colourOf(pen));
}

// The character's body box is the rectangle (0, 0)-(w, h) of a frame whose x
// axis runs along the writing direction and whose y axis is slanted by the
// slant; the font's glyph is stretched into it: half-width characters by
// their advance and capital height.  A kanji-set character's box is its
// cell: the plotter draws the character in the cell's upper right part,
// leaving a sixth of the cell free on the left and below (that is why the
// converter enlarges kanji cells and moves them left and down by a fifth of
// the character size: their characters then line up with the standard set).
QTransform QtPlotSurface::glyphTransform(const Glyph& g) const {
    constexpr double kKanjiInset = 1.0 / 6;
    const bool full = g.width == GlyphWidth::Full;
    const double inset = full ? kKanjiInset : 0;
    const double a = g.w * (1 - inset) / (full ? fullAdvance_ : halfAdvance_);
    const double b = g.h * (1 - inset) / (full ? ascent_ + descent_ : capHeight_);
    const double u0 = g.w * inset;                            // left edge of the glyph
    const double c = g.h * inset + (full ? descent_ * b : 0); // baseline above the box's bottom
    const double ax = g.along.x, ay = g.along.y;
    const double px = -ay, py = ax; // up in the character frame
    const double s = g.slant;
    // Font coordinates (x right, y down, baseline 0) to plotter units.
    return QTransform(a * ax, a * ay, -b * (s * ax + px), -b * (s * ay + py),
                      g.origin.x + ax * (u0 + s * c) + px * c,
                      g.origin.y + ay * (u0 + s * c) + py * c);
}

namespace {

QString textOf(char32_t code) {
    char16_t units[2];
    int n = 1;
    if (code > 0xFFFF) {
        units[0] = static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
        units[1] = static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        n = 2;
    } else {
        units[0] = static_cast<char16_t>(code);
    }
    return QString(reinterpret_cast<const QChar*>(units), n);
}

} // namespace

// On a raster picture a character is drawn once per look (code, size,
// direction, slant, pen) into a small image and copied from there.
void QtPlotSurface::rasterGlyph(const Glyph& g) {
    const GlyphKey key{g.code,
                       g.width == GlyphWidth::Full ? 1 : 0,
                       std::lround(g.w * 4),
                       std::lround(g.h * 4),
                       std::lround(g.along.x * 10000),
                       std::lround(g.along.y * 10000),
                       std::lround(g.slant * 1000),
                       currentPen_};
    auto it = glyphs_.find(key);
    if (it == glyphs_.end()) {
        if (glyphs_.size() > 20000) glyphs_.clear();
        Glyph atZero = g;
        atZero.origin = {0, 0};
        // Device transform without the translation: the glyph's origin at 0.
        const QTransform linear(toDevice_.m11(), toDevice_.m12(), toDevice_.m21(), toDevice_.m22(),
                                0, 0);
        const QTransform t = glyphTransform(atZero) * linear;
        // Bounds: the body box with room for descenders and overhangs.
        const double w = std::fabs(g.w), h = std::fabs(g.h);
        QPolygonF box;
        for (const QPointF& p : {QPointF(-0.5 * w, -0.6 * h), QPointF(1.5 * w, -0.6 * h),
                                 QPointF(1.5 * w, 1.6 * h), QPointF(-0.5 * w, 1.6 * h)}) {
            const double ux = g.along.x, uy = g.along.y;
            const double x = p.x() + g.slant * p.y();
            box << linear.map(QPointF(x * ux - p.y() * uy, x * uy + p.y() * ux));
        }
        const QRect bounds = box.boundingRect().toAlignedRect().adjusted(-2, -2, 2, 2);
        CachedGlyph cached;
        cached.offset = bounds.topLeft();
        if (bounds.width() > 0 && bounds.height() > 0 &&
            static_cast<double>(bounds.width()) * bounds.height() < 4e6) {
            cached.image = QImage(bounds.size(), QImage::Format_ARGB32_Premultiplied);
            cached.image.fill(Qt::transparent);
            QPainter gp(&cached.image);
            gp.setRenderHint(QPainter::Antialiasing, true);
            gp.setRenderHint(QPainter::TextAntialiasing, true);
            gp.setPen(qpen_.color());
            gp.setFont(font_);
            gp.setWorldTransform(t * QTransform::fromTranslate(-bounds.left(), -bounds.top()));
            gp.drawText(QPointF(0, 0), textOf(g.code));
            gp.end();
            // Only the inked part is kept: the copy below touches no more.
            int l = cached.image.width(), t = cached.image.height(), r = -1, b = -1;
            for (int y = 0; y < cached.image.height(); ++y) {
                const auto* row =
                    reinterpret_cast<const std::uint32_t*>(cached.image.constScanLine(y));
                for (int x = 0; x < cached.image.width(); ++x) {
                    if ((row[x] >> 24) == 0) continue;
                    l = std::min(l, x);
                    r = std::max(r, x);
                    t = std::min(t, y);
                    b = std::max(b, y);
                }
            }
            if (r < 0) {
                cached.image = QImage();
            } else {
                cached.image = cached.image.copy(l, t, r - l + 1, b - t + 1);
                cached.offset += QPoint(l, t);
            }
        }
        it = glyphs_.emplace(key, std::move(cached)).first;
    }
    const QImage& image = it->second.image;
    if (image.isNull()) return;
    const QPointF at = toDevice_.map(QPointF(g.origin.x, g.origin.y));
    const int left = static_cast<int>(std::lround(at.x())) + it->second.offset.x();
    const int top = static_cast<int>(std::lround(at.y())) + it->second.offset.y();
    // The glyph's premultiplied pixels over the picture, within the clip.
    const int x0 = std::max(left, clipX0_), x1 = std::min(left + image.width() - 1, clipX1_);
    const int y0 = std::max(top, clipY0_), y1 = std::min(top + image.height() - 1, clipY1_);
    for (int y = y0; y <= y1; ++y) {
        const auto* src = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y - top));
        std::uint32_t* dst = pixels_ + static_cast<std::ptrdiff_t>(y) * stride_;
        for (int x = x0; x <= x1; ++x) {
            const std::uint32_t p = src[x - left];
            const std::uint32_t alpha = p >> 24;
            if (alpha == 0) continue;
            if (alpha == 255) {
                dst[x] = p;
                continue;
            }
            // Premultiplied source over the picture: red and blue, then green,
            // each scaled by (255 - alpha) / 255 with rounding.
            const std::uint32_t d = dst[x];
            const std::uint32_t keep = 255 - alpha;
            std::uint32_t rb = (d & 0xFF00FFu) * keep + 0x800080u;
            rb = ((rb + ((rb >> 8) & 0xFF00FFu)) >> 8) & 0xFF00FFu;
            std::uint32_t g = ((d >> 8) & 0xFFu) * keep + 0x80u;
            g = ((g + (g >> 8)) >> 8) & 0xFFu;
            dst[x] = 0xFF000000u | ((p & 0xFF00FFu) + rb) | ((((p >> 8) & 0xFFu) + g) << 8);
        }
    }
}

void QtPlotSurface::glyph(int pen, const Glyph& g) {
    usePen(pen);
    if (pixels_) {
        rasterGlyph(g);
        return;
    }
    flushStrokes();
    painter_.setWorldTransform(glyphTransform(g) * toDevice_);
    painter_.setFont(font_);
    painter_.drawText(QPointF(0, 0), textOf(g.code));
    painter_.setWorldTransform(toDevice_);
}

} // namespace kesto::render
