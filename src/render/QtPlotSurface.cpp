#include "render/QtPlotSurface.h"

#include "render/PenTable.h"

#include <algorithm>
#include <cmath>

namespace kesto::render {

namespace {

constexpr double kUnitsPerMm = 40;

QColor colourOf(int pen) {
    const PenLook look = penLook(pen);
    return QColor::fromRgb((look.rgb >> 16) & 0xFF, (look.rgb >> 8) & 0xFF, look.rgb & 0xFF);
}

} // namespace

QtPlotSurface::QtPlotSurface(QPainter& painter, const QTransform& toDevice, const Rect& sheet)
    : painter_(painter), toDevice_(toDevice), sheet_(sheet), font_(plotterFont()),
      box_(fontBox(font_)) {
    painter_.setWorldTransform(toDevice_);
    painter_.setBrush(Qt::NoBrush);
    qpen_.setCapStyle(Qt::RoundCap);
    qpen_.setJoinStyle(Qt::RoundJoin);
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
    flushStrokes();
    painter_.setClipRect(QRectF(r.left, r.bottom, r.width(), r.height()));
}

void QtPlotSurface::usePen(int pen) {
    if (pen == currentPen_) return;
    flushStrokes();
    currentPen_ = pen;
    qpen_.setColor(colourOf(pen));
    qpen_.setWidthF(std::max(penLook(pen).widthMm * kUnitsPerMm, minimumWidth_));
    painter_.setPen(qpen_);
}

void QtPlotSurface::stroke(int pen, const Point* points, std::size_t count) {
    if (count == 0) return;
    usePen(pen);
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

void QtPlotSurface::fill(int pen, const std::vector<std::vector<Point>>& rings, bool evenOdd) {
    flushStrokes();
    QPainterPath path;
    path.setFillRule(evenOdd ? Qt::OddEvenFill : Qt::WindingFill);
    for (const auto& ring : rings) {
        path.moveTo(std::round(ring[0].x), std::round(ring[0].y));
        for (std::size_t i = 1; i < ring.size(); ++i)
            path.lineTo(std::round(ring[i].x), std::round(ring[i].y));
        path.closeSubpath();
    }
    painter_.fillPath(path, colourOf(pen));
}

void QtPlotSurface::glyph(int pen, const Glyph& g) {
    usePen(pen);
    flushStrokes();
    painter_.setWorldTransform(glyphToPlotter(g, box_) * toDevice_);
    painter_.setFont(font_);
    painter_.drawText(QPointF(0, 0), glyphText(g.code));
    painter_.setWorldTransform(toDevice_);
}

} // namespace kesto::render
