#pragma once
// A PlotSurface that draws straight into the pixels of a picture: strokes
// with the pen's nib, polygons scan line by scan line, characters copied
// from a cache of drawn glyphs.  The picture has a palette (white, the
// frame's two colours and each pen in sixteen strengths for the edges of
// characters), which keeps both drawing and PNG encoding fast on drawings of
// millions of vectors.

#include "render/GlyphLayout.h"
#include "render/PlotSurface.h"

#include <QImage>
#include <QTransform>

#include <atomic>
#include <cstdint>
#include <map>
#include <tuple>
#include <vector>

namespace kesto::render {

namespace raster {
struct PixelPoint;
struct DeviceCorners;
} // namespace raster

class RasterSurface final : public PlotSurface {
public:
    // The palette of the pictures this surface draws into (index 0 white).
    static QList<QRgb> palette();

    // `image` is an 8-bit picture with palette(); `toDevice` maps plotter
    // units to its pixels (scale and translation only).
    RasterSurface(QImage& image, const QTransform& toDevice, const Rect& sheet);

    // The sheet's outline and, when given, the clip window, in light colours.
    void frame(const Rect* window);

    void setClip(const Rect* window) override;
    void stroke(int pen, const Point* points, std::size_t count) override;
    void fill(int pen, const Polygon& polygon, bool evenOdd) override;

    // Gives up a fill between scan lines once `*flag` is true.
    void setCancel(const std::atomic<bool>* flag) { cancel_ = flag; }
    void glyph(int pen, const Glyph& glyph) override;

private:
    void usePen(int pen);
    void span(int line, int from, int to, bool vertical);
    void nib(double cx, double cy);
    // Paths are drawn in pieces of this many points.
    static constexpr std::size_t kPiecePoints = 128;
    bool toPixels(const Point* points, std::size_t count, raster::PixelPoint* device) const;
    void inkPiece(const raster::PixelPoint* device, std::size_t count);
    void cutPiece(const raster::PixelPoint* device, std::size_t count);
    void nibsOfPiece(const raster::PixelPoint* device, std::size_t count, bool inside, bool starts,
                     bool ends);
    void segment(double ax, double ay, double bx, double by);

    std::uint8_t* pixels_;
    std::ptrdiff_t stride_;
    int width_, height_;
    QTransform toDevice_;
    Rect sheet_;
    int clipX0_ = 0, clipY0_ = 0, clipX1_ = -1, clipY1_ = -1; // inclusive
    int currentPen_ = -1;
    std::uint8_t ink_ = 0;  // the current pen's full-strength index
    std::uint8_t base_ = 0; // its index of strength 1
    double nibPixels_ = 1;
    int nibSide_ = 1;

    // A fill's edge as its corners' numbers: the upper end on the picture
    // first; the lower one with kEdgeWindingBit when the edge runs upwards.
    struct Edge {
        std::uint32_t upper, lower;
    };
    // An edge on the scan lines it crosses: where it crosses the current one.
    // Its slope is worked out again from the corners for every line, so that
    // an outline whose millions of edges all cross one line keeps a small
    // record for each.
    struct Crossing {
        double x;
        Edge edge;
    };
    // An edge of a few-corner polygon, with its slope at hand.
    struct FewEdge {
        double x;
        double x0, y0, dx, dy; // upper end and extent, pixels
        int lastRow;
        int winding;
    };
    // Polygons of at most this many corners are filled without buckets.
    static constexpr std::size_t kFewCorners = 16;
    static int windingOf(const Crossing& c);
    static int windingOf(const FewEdge& e) { return e.winding; }
    bool scanRows(double y0, double y1, int& first, int& last) const;
    template <class Line> void fillLine(int y, const Line* line, std::size_t count, bool evenOdd);
    static constexpr int kBandLines = 32;
    void fillBand(const raster::DeviceCorners& at, int from, int to, bool evenOdd);
    void fillFew(const Polygon& polygon, bool evenOdd);
    void fillUpright(const FewEdge* edges, int top, int bottom);
    static void sortCrossings(Crossing* begin, Crossing* end);

    std::vector<Edge> edges_; // kept between fills
    std::vector<Crossing> active_;
    std::vector<int> counts_; // per pixel of a band's lines, for fillBand
    std::vector<std::uint32_t> rowStarts_;
    const std::atomic<bool>* cancel_ = nullptr;

    QFont font_;
    FontBox box_;
    using GlyphKey = std::tuple<char32_t, int, long, long, long, long, long>;
    struct CachedGlyph {
        int left = 0, top = 0; // of the strengths' box from the glyph's origin, pixels
        int width = 0, height = 0;
        std::vector<std::uint8_t> strength; // 0 to 15 per pixel
    };
    std::map<GlyphKey, CachedGlyph> glyphs_;
};

} // namespace kesto::render
