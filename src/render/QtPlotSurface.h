#pragma once
// A PlotSurface on a QPainter for the vector formats (PDF, SVG): the
// painter's own transform takes plotter units to the page, strokes of one
// pen go out as one path, characters as text in the plotter's font.

#include "render/GlyphLayout.h"
#include "render/PlotSurface.h"

#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QTransform>

namespace kesto::render {

class QtPlotSurface final : public PlotSurface {
public:
    // `toDevice` maps plotter units to the painter's device; `sheet` is the
    // paper (nothing is drawn outside it).
    QtPlotSurface(QPainter& painter, const QTransform& toDevice, const Rect& sheet);

    void setClip(const Rect* window) override;
    void stroke(int pen, const Point* points, std::size_t count) override;
    void fill(int pen, const std::vector<std::vector<Point>>& rings, bool evenOdd) override;
    void glyph(int pen, const Glyph& glyph) override;
    // Draws what is still gathered; call before the painter ends.
    void finish();

private:
    void usePen(int pen);
    void flushStrokes();

    QPainter& painter_;
    QTransform toDevice_;
    Rect sheet_;
    int currentPen_ = -1;
    QPen qpen_;
    QPainterPath strokes_; // gathered strokes of the current pen
    std::size_t strokedPoints_ = 0;
    QFont font_;
    FontBox box_;
    double minimumWidth_ = 0; // plotter units: one device unit
};

} // namespace kesto::render
