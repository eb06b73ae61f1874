#pragma once
// A PDF document of one page, the sheet at its real size, written as the
// drawing is read: the page's content goes out in compressed pieces, so
// memory does not grow with the drawing.  Lines and fills are vector paths
// in whole plotter steps; characters are text in the plotter font
// (IPAGothic), so they can be searched and copied.  Only the glyphs the page
// uses are embedded, written after the page once they are all known.

#include "render/GlyphLayout.h"
#include "render/PlotSurface.h"
#include "render/WrittenText.h"

#include <QIODevice>
#include <QRawFont>

#include <atomic>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace kesto::render {

class PdfSurface final : public PlotSurface {
public:
    // Why a sheet cannot be a PDF page ("" when it can): a page is at most
    // 14,400 units a side, larger sheets take a larger unit, up to a limit.
    static std::string pageProblem(const Rect& sheet);

    // Starts the document on `out` for a page of `sheet` (plotter units);
    // the sheet must have passed pageProblem().
    PdfSurface(QIODevice& out, const Rect& sheet);

    // The sheet's outline and the clip window, in light colours.
    void frame(const Rect* window);

    void setClip(const Rect* window) override;
    void stroke(int pen, const Point* points, std::size_t count) override;
    void fill(int pen, const Polygon& polygon, bool evenOdd) override;
    void glyph(int pen, const Glyph& glyph) override;

    // Writes the rest of the document; false when a write failed.
    bool finish();

    // Gives up writing a large area once `*flag` is true.
    void setCancel(const std::atomic<bool>* flag) { cancel_ = flag; }

private:
    // One code of the page's font: a glyph and the character it stands for.
    struct Code {
        quint32 glyph;
        char32_t text;
        double width; // thousandths of an em
    };

    void drawGlyph(int pen, const Glyph& glyph, char32_t text);
    int codeFor(char32_t drawn, char32_t text);
    void usePen(int pen);
    void put(const char* format, ...);
    void path(const Point* points, std::size_t count);
    void flushContent();
    qint64 beginObject(int number);
    void writeRaw(const QByteArray& bytes);
    void writeStream(int number, const QByteArray& data, const std::string& extra = {});
    void writeFont();
    QByteArray toUnicode() const;

    QIODevice& out_;
    Rect sheet_;
    Rect limit_;
    double userUnit_ = 1;
    bool ok_ = true;
    const std::atomic<bool>* cancel_ = nullptr;
    qint64 written_ = 0;
    std::map<int, qint64> offsets_; // object number -> byte offset
    std::vector<int> contents_;     // the page's content streams
    int nextObject_ = 10;
    std::string content_; // content not yet written
    int currentPen_ = -1;

    QFont font_;
    FontBox box_;
    QRawFont raw_;
    WrittenText text_;
    std::vector<Code> codes_;                             // code - 1 -> glyph and character
    std::map<std::pair<char32_t, char32_t>, int> codeOf_; // (drawn, text) -> code
};

} // namespace kesto::render
