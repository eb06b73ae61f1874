#pragma once
// A PlotSurface on a QPainter: the painter's own transform takes plotter
// units to the device (a picture, a PDF page, an SVG document), so the same
// strokes, fills and characters go to every format.  On a raster picture the
// pen strokes are drawn straight into the pixels and characters come from a
// cache of drawn glyphs: the painter's general stroker is far too slow for
// drawings of millions of vectors.

#include "render/PlotSurface.h"

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QTransform>

#include <cstdint>
#include <map>
#include <tuple>
#include <vector>

namespace kesto::render {

// The font the plotter's characters are drawn with: IPAGothic (loaded from
// the Debian font package when it is there), else the system's sans serif.
// Needs a QGuiApplication.
QFont plotterFont();

class QtPlotSurface final : public PlotSurface {
public:
    // `toDevice` maps plotter units to the painter's device; `sheet` is the
    // paper (nothing is drawn outside it).  `raster`, when given, is the
    // painter's device (an RGB32 image) whose pixels strokes are drawn into.
    QtPlotSurface(QPainter& painter, const QTransform& toDevice, const Rect& sheet,
                  QImage* raster = nullptr);

    void setClip(const Rect* window) override;
    void stroke(int pen, const Point* points, std::size_t count) override;
    void fill(int pen, const std::vector<std::vector<Point>>& rings, bool evenOdd) override;
    void glyph(int pen, const Glyph& glyph) override;
    // Draws what is still gathered; call before the painter ends.
    void finish();

private:
    void usePen(int pen);
    void flushStrokes();
    QTransform glyphTransform(const Glyph& g) const;
    void rasterSegment(double ax, double ay, double bx, double by);
    void rasterNib(double cx, double cy);
    void rasterFill(const std::vector<std::vector<Point>>& rings, bool evenOdd);
    void rasterSpan(int x, int y0, int y1, bool vertical);
    void rasterGlyph(const Glyph& g);

    QPainter& painter_;
    QTransform toDevice_;
    Rect sheet_;
    int currentPen_ = -1;
    QPen qpen_;
    QPainterPath strokes_; // vector output: gathered strokes of the current pen
    std::size_t strokedPoints_ = 0;
    QFont font_;
    double halfAdvance_ = 1, fullAdvance_ = 1, capHeight_ = 1, ascent_ = 1, descent_ = 0;
    double minimumWidth_ = 0; // plotter units: one device pixel

    // Raster pictures.
    std::uint32_t* pixels_ = nullptr;
    std::ptrdiff_t stride_ = 0;                               // pixels per row
    int clipX0_ = 0, clipY0_ = 0, clipX1_ = -1, clipY1_ = -1; // inclusive
    std::uint32_t argb_ = 0xFF000000;
    double nibPixels_ = 1;
    int nibSide_ = 1;
    using GlyphKey = std::tuple<char32_t, int, long, long, long, long, long, int>;
    struct CachedGlyph {
        QImage image;
        QPoint offset; // of the image's corner from the glyph's origin, pixels
    };
    std::map<GlyphKey, CachedGlyph> glyphs_;
};

} // namespace kesto::render
