#pragma once
// What the HP-GL interpreter hands to a painter: strokes, fills and single
// characters, all in the plotter's own units (0.025 mm, x to the right,
// y up), already clipped to nothing and already broken into dashes.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kesto::render {

struct Point {
    double x = 0;
    double y = 0;
};

struct Rect {
    double left = 0;
    double bottom = 0;
    double right = 0;
    double top = 0;
    double width() const { return right - left; }
    double height() const { return top - bottom; }
};

// How a character is laid into its body box: half-width characters (the
// standard sets and half-width katakana) or full-width ones (the kanji set).
enum class GlyphWidth { Half, Full };

struct Glyph {
    char32_t code = 0;
    GlyphWidth width = GlyphWidth::Half;
    Point origin;      // lower left corner of the character body
    Point along{1, 0}; // unit vector of the writing direction
    double w = 0;      // body width, plotter units (negative mirrors)
    double h = 0;      // body height, plotter units (negative mirrors)
    double slant = 0;  // tangent of the slant angle
};

// A filled area: `rings` closed sub-polygons, ring i made of the next
// `ringSizes[i]` corners (each ring closes back to its first).  The corners
// lie in chunks of kChunk, so that a polygon of millions of corners never
// needs one block of memory that large, nor a copy of it.
struct Polygon {
    static constexpr unsigned kChunkBits = 16;
    static constexpr std::size_t kChunk = std::size_t{1} << kChunkBits;
    const Point* const* chunks = nullptr;
    const std::size_t* ringSizes = nullptr;
    std::size_t rings = 0;
    const Point& corner(std::size_t i) const { return chunks[i >> kChunkBits][i & (kChunk - 1)]; }
    std::size_t corners() const {
        std::size_t n = 0;
        for (std::size_t i = 0; i < rings; ++i)
            n += ringSizes[i];
        return n;
    }
};

// A drawing target.  Pen 0 never reaches it (the plotter has no pen then).
class PlotSurface {
public:
    virtual ~PlotSurface() = default;
    // Limits every later mark to `window`; nullptr lifts the limit (the sheet
    // itself still clips).
    virtual void setClip(const Rect* window) = 0;
    // A connected pen-down path; two equal points make a dot.
    virtual void stroke(int pen, const Point* points, std::size_t count) = 0;
    // A filled polygon, even-odd or non-zero winding.
    virtual void fill(int pen, const Polygon& polygon, bool evenOdd) = 0;
    virtual void glyph(int pen, const Glyph& glyph) = 0;
};

} // namespace kesto::render
