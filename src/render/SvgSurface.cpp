#include "render/SvgSurface.h"

#include "render/AppendFormatted.h"
#include "render/PenTable.h"
#include "render/PlotterUnits.h"
#include "render/SheetLimit.h"
#include "render/VectorPath.h"

#include <cstdarg>
#include <cstdio>

namespace kesto::render {

namespace {

constexpr std::size_t kFlushBytes = 1 << 20;
constexpr PathSpelling kSvgPath{'M', 'L', true}; // "Mx y "

} // namespace

SvgSurface::SvgSurface(QIODevice& out, const Rect& sheet)
    : out_(out), sheet_(sheet), limit_(limitBox(sheet)), box_(fontBox(plotterFont())),
      halfInFull_(box_), fullInHalf_(box_),
      text_([this](int pen, const Glyph& g, char32_t text) { drawGlyph(pen, g, text); }) {
    halfInFull_.fullAdvance = box_.halfAdvance;
    fullInHalf_.halfAdvance = box_.fullAdvance;
    text("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.3fmm\" height=\"%.3fmm\" "
         "viewBox=\"0 0 %.0f %.0f\">\n<title>kesto drawing</title>\n"
         "<rect x=\"0\" y=\"0\" width=\"%.0f\" height=\"%.0f\" fill=\"#ffffff\"/>\n",
         sheet.width() / kUnitsPerMm, sheet.height() / kUnitsPerMm, sheet.width(), sheet.height(),
         sheet.width(), sheet.height());
    // Plotter units, y up, from the sheet's corner.
    text("<g transform=\"matrix(1 0 0 -1 %.0f %.0f)\">\n", -sheet.left, sheet.top);
    setClip(nullptr);
}

void SvgSurface::text(const char* format, ...) {
    va_list args;
    va_start(args, format);
    appendFormatted(buffer_, format, args);
    va_end(args);
    if (buffer_.size() >= kFlushBytes) flush();
}

void SvgSurface::flush() {
    if (buffer_.empty()) return;
    if (out_.write(buffer_.data(), static_cast<qint64>(buffer_.size())) !=
        static_cast<qint64>(buffer_.size()))
        ok_ = false;
    buffer_.clear();
}

void SvgSurface::frame(const Rect* window) {
    text_.flush();
    const Rect& s = sheet_;
    text("<rect x=\"%.0f\" y=\"%.0f\" width=\"%.0f\" height=\"%.0f\" fill=\"none\" "
         "stroke=\"#c8c8c8\" stroke-width=\"4\"/>\n",
         s.left, s.bottom, s.width(), s.height());
    if (window) {
        text("<rect x=\"%.0f\" y=\"%.0f\" width=\"%.0f\" height=\"%.0f\" fill=\"none\" "
             "stroke=\"#9ecae1\" stroke-width=\"4\" stroke-dasharray=\"80 40\"/>\n",
             window->left, window->bottom, window->width(), window->height());
    }
}

void SvgSurface::closePen() {
    if (penOpen_) text("</g>\n");
    penOpen_ = false;
    currentPen_ = -1;
}

void SvgSurface::setClip(const Rect* window) {
    text_.flush();
    closePen();
    const Rect r = clipBox(sheet_, window);
    if (clips_ > 0) text("</g>\n");
    ++clips_;
    // Inside defs, so that a viewer without clipping still draws nothing of it.
    text("<defs><clipPath id=\"c%d\"><rect x=\"%.0f\" y=\"%.0f\" width=\"%.0f\" height=\"%.0f\"/>"
         "</clipPath></defs>\n<g clip-path=\"url(#c%d)\">\n",
         clips_, r.left, r.bottom, r.width(), r.height(), clips_);
}

void SvgSurface::usePen(int pen) {
    if (pen == currentPen_) return;
    closePen();
    currentPen_ = pen;
    penOpen_ = true;
    const PenLook look = penLook(pen);
    text("<g fill=\"none\" stroke=\"#%06x\" stroke-width=\"%.1f\" stroke-linecap=\"round\" "
         "stroke-linejoin=\"round\">\n",
         static_cast<unsigned>(look.rgb), look.widthMm * kUnitsPerMm);
}

void SvgSurface::path(const Point* points, std::size_t count) {
    buffer_ += "<path d=\"";
    appendPolyline(buffer_, kSvgPath, points, count);
    buffer_ += "\"/>\n";
    if (buffer_.size() >= kFlushBytes) flush();
}

void SvgSurface::stroke(int pen, const Point* points, std::size_t count) {
    text_.flush();
    if (count == 0) return;
    usePen(pen);
    forEachPart(limit_, points, count, [this](const Point* p, std::size_t n) { path(p, n); });
}

void SvgSurface::fill(int pen, const Polygon& polygon, bool evenOdd) {
    text_.flush();
    const auto start = [&] {
        usePen(pen);
        text("<path fill=\"#%06x\" stroke=\"none\" fill-rule=\"%s\" d=\"",
             static_cast<unsigned>(penLook(pen).rgb), evenOdd ? "evenodd" : "nonzero");
    };
    if (!appendArea(
            buffer_, kSvgPath, limit_, polygon, start, [&] { buffer_ += "Z"; }, cancel_))
        return;
    buffer_ += "\"/>\n";
    if (buffer_.size() >= kFlushBytes) flush();
}

void SvgSurface::glyph(int pen, const Glyph& g) {
    if (glyphNear(limit_, g)) text_.add(pen, g);
}

// The glyph's transform takes the font's own coordinates (y down, baseline
// 0) into plotter units: exactly what SVG text is drawn in.  The text is
// the character the drawing holds: a katakana the plotter draws at the
// other width is shown as the drawing's one, fitted to the same cell.
void SvgSurface::drawGlyph(int pen, const Glyph& g, char32_t code) {
    usePen(pen);
    const FontBox& box = code == g.code                ? box_
                         : g.width == GlyphWidth::Full ? halfInFull_
                                                       : fullInHalf_;
    const QTransform m = glyphToPlotter(g, box);
    text("<text transform=\"matrix(%.5f %.5f %.5f %.5f %.2f %.2f)\" font-family=\"%s\" "
         "font-size=\"100\" stroke=\"none\" fill=\"#%06x\">&#x%X;</text>\n",
         m.m11(), m.m12(), m.m21(), m.m22(), m.dx(), m.dy(), kFontFamily,
         static_cast<unsigned>(penLook(pen).rgb), static_cast<unsigned>(code));
}

bool SvgSurface::finish() {
    text_.flush();
    closePen();
    if (clips_ > 0) text("</g>\n");
    text("</g>\n</svg>\n");
    flush();
    return ok_;
}

} // namespace kesto::render
