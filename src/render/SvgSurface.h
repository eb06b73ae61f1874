#pragma once
// An SVG document of the sheet at its real size, written as the drawing is
// read (memory does not grow with the drawing): plotter units inside, paths
// in whole plotter steps grouped by pen, characters as text in the plotter
// font (IPAGothic) so that they stay text.  Marks far outside the sheet are
// cut at a box around it, as in the PDF.

#include "render/GlyphLayout.h"
#include "render/PlotSurface.h"
#include "render/WrittenText.h"

#include <QIODevice>

#include <atomic>
#include <string>

namespace kesto::render {

class SvgSurface final : public PlotSurface {
public:
    SvgSurface(QIODevice& out, const Rect& sheet);

    // The sheet's outline and the clip window, in light colours.
    void frame(const Rect* window);

    void setClip(const Rect* window) override;
    void stroke(int pen, const Point* points, std::size_t count) override;
    void fill(int pen, const Polygon& polygon, bool evenOdd) override;
    void glyph(int pen, const Glyph& glyph) override;

    // Closes the document; false when a write failed.
    bool finish();

    // Gives up writing a large area once `*flag` is true.
    void setCancel(const std::atomic<bool>* flag) { cancel_ = flag; }

private:
    void drawGlyph(int pen, const Glyph& glyph, char32_t text);
    void path(const Point* points, std::size_t count);
    void usePen(int pen);
    void closePen();
    void text(const char* format, ...);
    void flush();

    QIODevice& out_;
    Rect sheet_;
    Rect limit_;
    bool ok_ = true;
    const std::atomic<bool>* cancel_ = nullptr;
    std::string buffer_;
    int currentPen_ = -1;
    bool penOpen_ = false;
    int clips_ = 0;
    FontBox box_;
    FontBox halfInFull_; // a half-width katakana the plotter draws full width
    FontBox fullInHalf_; // a full-width katakana the plotter draws half width
    WrittenText text_;
};

} // namespace kesto::render
