#include "render/QtPlotSurface.h"

#include "render/PenTable.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainterPath>
#include <QPolygonF>

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
    if (raster && raster->format() == QImage::Format_RGB32 && toDevice_.type() <= QTransform::TxScale) {
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
    painter_.setClipRect(plotter);
    if (pixels_) {
        const QRectF device = toDevice_.mapRect(plotter);
        const QRect bounds = painter_.device() ? QRect(0, 0, painter_.device()->width(),
                                                       painter_.device()->height())
                                               : QRect();
        clipX0_ = std::max(bounds.left(), static_cast<int>(std::floor(device.left())));
        clipY0_ = std::max(bounds.top(), static_cast<int>(std::floor(device.top())));
        clipX1_ = std::min(bounds.right(), static_cast<int>(std::ceil(device.right())) - 1);
        clipY1_ = std::min(bounds.bottom(), static_cast<int>(std::ceil(device.bottom())) - 1);
    }
}

void QtPlotSurface::usePen(int pen) {
    if (pen == currentPen_) return;
    currentPen_ = pen;
    const QColor colour = colourOf(pen);
    qpen_.setColor(colour);
    qpen_.setWidthF(std::max(penLook(pen).widthMm * kUnitsPerMm, minimumWidth_));
    painter_.setPen(qpen_);
    argb_ = colour.rgb() | 0xFF000000u;
    nibPixels_ = std::max(1.0, qpen_.widthF() * std::fabs(toDevice_.m11()));
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

// A segment in device pixels drawn with the pen's nib: at every step along
// the major axis a run across it, as thick as the nib measured across the
// line; square ends of the nib's size cover the joins.
void QtPlotSurface::rasterSegment(double ax, double ay, double bx, double by) {
    const double w = nibPixels_;
    const double dx = bx - ax, dy = by - ay;
    const double adx = std::fabs(dx), ady = std::fabs(dy);
    const double major = std::max(adx, ady);
    // Square ends (and dots).
    const auto square = [&](double cx, double cy) {
        const int x0 = static_cast<int>(std::floor(cx - w / 2 + 0.5));
        const int y0 = static_cast<int>(std::floor(cy - w / 2 + 0.5));
        const int n = std::max(1, static_cast<int>(std::lround(w)));
        for (int x = x0; x < x0 + n; ++x)
            rasterSpan(x, y0, y0 + n - 1, true);
    };
    square(ax, ay);
    if (major < 0.5) return;
    square(bx, by);
    if (major > 1e6) return; // far outside any picture
    const double length = std::sqrt(dx * dx + dy * dy);
    const double across = std::max(1.0, w * length / major);
    const int n = static_cast<int>(std::ceil(major));
    const double sx = dx / n, sy = dy / n;
    const int runLength = std::max(1, static_cast<int>(std::lround(across)));
    if (adx >= ady) {
        double x = ax, y = ay;
        for (int i = 0; i <= n; ++i, x += sx, y += sy) {
            const int y0 = static_cast<int>(std::floor(y - across / 2 + 0.5));
            rasterSpan(static_cast<int>(std::floor(x)), y0, y0 + runLength - 1, true);
        }
    } else {
        double x = ax, y = ay;
        for (int i = 0; i <= n; ++i, x += sx, y += sy) {
            const int x0 = static_cast<int>(std::floor(x - across / 2 + 0.5));
            rasterSpan(static_cast<int>(std::floor(y)), x0, x0 + runLength - 1, false);
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
        if (count == 1) rasterSegment(ax, ay, ax, ay);
        for (std::size_t i = 1; i < count; ++i) {
            const double bx = points[i].x * m11 + tx, by = points[i].y * m22 + ty;
            rasterSegment(ax, ay, bx, by);
            ax = bx;
            ay = by;
        }
        return;
    }
    if (count == 1) {
        painter_.drawPoint(QPointF(points[0].x, points[0].y));
        return;
    }
    points_.resize(count);
    for (std::size_t i = 0; i < count; ++i)
        points_[i] = QPointF(points[i].x, points[i].y);
    painter_.drawPolyline(points_.data(), static_cast<int>(count));
}

void QtPlotSurface::fill(int pen, const std::vector<std::vector<Point>>& rings, bool evenOdd) {
    QPainterPath path;
    path.setFillRule(evenOdd ? Qt::OddEvenFill : Qt::WindingFill);
    for (const auto& ring : rings) {
        path.moveTo(ring[0].x, ring[0].y);
        for (std::size_t i = 1; i < ring.size(); ++i)
            path.lineTo(ring[i].x, ring[i].y);
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
        const QTransform linear(toDevice_.m11(), toDevice_.m12(), toDevice_.m21(),
                                toDevice_.m22(), 0, 0);
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
        }
        it = glyphs_.emplace(key, std::move(cached)).first;
    }
    if (it->second.image.isNull()) return;
    const QPointF at = toDevice_.map(QPointF(g.origin.x, g.origin.y));
    painter_.setWorldTransform(QTransform());
    painter_.drawImage(QPoint(static_cast<int>(std::lround(at.x())) + it->second.offset.x(),
                              static_cast<int>(std::lround(at.y())) + it->second.offset.y()),
                       it->second.image);
    painter_.setWorldTransform(toDevice_);
}

void QtPlotSurface::glyph(int pen, const Glyph& g) {
    usePen(pen);
    if (pixels_) {
        rasterGlyph(g);
        return;
    }
    painter_.setWorldTransform(glyphTransform(g) * toDevice_);
    painter_.setFont(font_);
    painter_.drawText(QPointF(0, 0), textOf(g.code));
    painter_.setWorldTransform(toDevice_);
}

} // namespace kesto::render
