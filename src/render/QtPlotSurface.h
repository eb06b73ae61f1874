#pragma once
// A PlotSurface on a QPainter: the painter's own transform takes plotter
// units to the device (a picture, a PDF page, an SVG document), so the same
// strokes, fills and characters go to every format.

#include "render/PlotSurface.h"

#include <QFont>
#include <QPainter>
#include <QPen>
#include <QTransform>

#include <vector>

namespace kesto::render {

// The font the plotter's characters are drawn with: IPAGothic (loaded from
// the Debian font package when it is there), else the system's sans serif.
// Needs a QGuiApplication.
QFont plotterFont();

class QtPlotSurface final : public PlotSurface {
public:
    // `toDevice` maps plotter units to the painter's device; `sheet` is the
    // paper (nothing is drawn outside it).
    QtPlotSurface(QPainter& painter, const QTransform& toDevice, const Rect& sheet);

    void setClip(const Rect* window) override;
    void stroke(int pen, const Point* points, std::size_t count) override;
    void fill(int pen, const std::vector<std::vector<Point>>& rings, bool evenOdd) override;
    void glyph(int pen, const Glyph& glyph) override;

private:
    void usePen(int pen);

    QPainter& painter_;
    QTransform toDevice_;
    Rect sheet_;
    int currentPen_ = -1;
    QPen qpen_;
    std::vector<QPointF> points_;
    QFont font_;
    double halfAdvance_ = 1, fullAdvance_ = 1, capHeight_ = 1, ascent_ = 1, descent_ = 0;
    double minimumWidth_ = 0; // plotter units: one device pixel
};

} // namespace kesto::render
