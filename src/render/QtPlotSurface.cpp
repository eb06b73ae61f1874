#include "render/QtPlotSurface.h"

#include "render/PenTable.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainterPath>

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

QtPlotSurface::QtPlotSurface(QPainter& painter, const QTransform& toDevice, const Rect& sheet)
    : painter_(painter), toDevice_(toDevice), sheet_(sheet), font_(plotterFont()) {
    painter_.setWorldTransform(toDevice_);
    painter_.setBrush(Qt::NoBrush);
    qpen_.setCapStyle(Qt::RoundCap);
    qpen_.setJoinStyle(Qt::RoundJoin);
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
    painter_.setClipRect(QRectF(r.left, r.bottom, r.width(), r.height()));
}

void QtPlotSurface::usePen(int pen) {
    if (pen == currentPen_) return;
    currentPen_ = pen;
    qpen_.setColor(colourOf(pen));
    qpen_.setWidthF(std::max(penLook(pen).widthMm * kUnitsPerMm, minimumWidth_));
    painter_.setPen(qpen_);
}

void QtPlotSurface::stroke(int pen, const Point* points, std::size_t count) {
    if (count == 0) return;
    usePen(pen);
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
void QtPlotSurface::glyph(int pen, const Glyph& g) {
    constexpr double kKanjiInset = 1.0 / 6;
    usePen(pen);
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
    const QTransform glyphToPlotter(a * ax, a * ay, -b * (s * ax + px), -b * (s * ay + py),
                                    g.origin.x + ax * (u0 + s * c) + px * c,
                                    g.origin.y + ay * (u0 + s * c) + py * c);
    painter_.setWorldTransform(glyphToPlotter * toDevice_);
    painter_.setFont(font_);
    char16_t units[2];
    int n = 1;
    if (g.code > 0xFFFF) {
        units[0] = static_cast<char16_t>(0xD800 + ((g.code - 0x10000) >> 10));
        units[1] = static_cast<char16_t>(0xDC00 + ((g.code - 0x10000) & 0x3FF));
        n = 2;
    } else {
        units[0] = static_cast<char16_t>(g.code);
    }
    painter_.drawText(QPointF(0, 0), QString(reinterpret_cast<const QChar*>(units), n));
    painter_.setWorldTransform(toDevice_);
}

} // namespace kesto::render
