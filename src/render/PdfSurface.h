#pragma once
// A PDF document of one page, the sheet at its real size, written as the
// drawing is read: the page's content goes out in compressed pieces, so
// memory does not grow with the drawing.  Lines and fills are vector paths
// in whole plotter steps; characters are text in the embedded plotter font
// (IPAGothic), so they can be searched and copied.

#include "render/GlyphLayout.h"
#include "render/PlotSurface.h"

#include <QIODevice>
#include <QRawFont>

#include <map>
#include <string>
#include <vector>

namespace kesto::render {

class PdfSurface final : public PlotSurface {
public:
    // Starts the document on `out` for a page of `sheet` (plotter units).
    PdfSurface(QIODevice& out, const Rect& sheet);

    // The sheet's outline and the clip window, in light colours.
    void frame(const Rect* window);

    void setClip(const Rect* window) override;
    void stroke(int pen, const Point* points, std::size_t count) override;
    void fill(int pen, const Polygon& polygon, bool evenOdd) override;
    void glyph(int pen, const Glyph& glyph) override;

    // Writes the rest of the document; false when a write failed.
    bool finish();

private:
    void usePen(int pen);
    void put(const char* format, ...);
    void point(Point p, char op);
    void flushContent();
    qint64 beginObject(int number);
    void writeRaw(const QByteArray& bytes);
    void writeStream(int number, const QByteArray& data, const std::string& extra = {});
    void writePacked(int number, const QByteArray& packed, const std::string& extra = {});

    QIODevice& out_;
    Rect sheet_;
    bool ok_ = true;
    qint64 written_ = 0;
    std::map<int, qint64> offsets_; // object number -> byte offset
    std::vector<int> contents_;     // the page's content streams
    int nextObject_ = 10;
    std::string content_; // content not yet written
    int currentPen_ = -1;

    QFont font_;
    FontBox box_;
    QRawFont raw_;
    std::map<quint32, std::pair<char32_t, double>> glyphs_; // glyph index -> character, width
};

} // namespace kesto::render
