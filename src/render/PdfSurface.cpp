#include "render/PdfSurface.h"

#include "render/AppendFormatted.h"
#include "render/FontSubset.h"
#include "render/PenTable.h"
#include "render/PlotterUnits.h"
#include "render/SheetLimit.h"
#include "render/VectorPath.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <set>

namespace kesto::render {

namespace {

constexpr double kPointsPerUnit = 72.0 / kUnitsPerInch; // plotter units to points
constexpr double kLargestPageSide = 14400;              // points, at one point per unit
constexpr double kLargestSheetSide = 2e9;      // plotter units: whole numbers a reader holds
constexpr std::size_t kContentPiece = 4 << 20; // bytes of content per compressed piece
constexpr int kLargestCode = 0xFFFF;           // two-byte codes of the page's font
constexpr int kCatalog = 1, kPages = 2, kPage = 3, kFont = 4, kCidFont = 5, kDescriptor = 6,
              kFontFile = 7, kToUnicode = 8, kCidToGlyph = 9;
constexpr PathSpelling kPdfPath{'m', 'l', false}; // "x y m\n"

QByteArray deflate(const QByteArray& data) {
    // qCompress puts the length in front of a zlib stream; PDF wants the stream.
    return qCompress(data, 1).mid(4);
}

// A page of the sheet holds at most 14,400 units a side: a larger sheet
// takes a unit of several points.
double userUnitFor(const Rect& sheet) {
    const double side = std::max(sheet.width(), sheet.height()) * kPointsPerUnit;
    return std::max(1.0, std::ceil(side / kLargestPageSide - 1e-9));
}

QByteArray hex4(unsigned value) {
    return QByteArray::number(value, 16).rightJustified(4, '0').toUpper();
}

} // namespace

std::string PdfSurface::pageProblem(const Rect& sheet) {
    const double w = sheet.width(), h = sheet.height();
    if (!(w > 0 && h > 0) || !std::isfinite(w) || !std::isfinite(h))
        return "the sheet has no area, so there is no PDF page to make of it";
    if (std::max(w, h) > kLargestSheetSide) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "the sheet (%.0f x %.0f mm) is too large for a PDF page "
                      "(at most %.0f km a side)",
                      w / kUnitsPerMm, h / kUnitsPerMm, kLargestSheetSide / kUnitsPerMm / 1e6);
        return text;
    }
    return {};
}

PdfSurface::PdfSurface(QIODevice& out, const Rect& sheet)
    : out_(out), sheet_(sheet), limit_(limitBox(sheet)), userUnit_(userUnitFor(sheet)),
      font_(plotterFont()), box_(fontBox(font_)), raw_(QRawFont::fromFont(font_)),
      text_([this](int pen, const Glyph& g, char32_t text) { drawGlyph(pen, g, text); }) {
    // A page unit larger than a point needs PDF 1.6.
    writeRaw(userUnit_ > 1 ? "%PDF-1.6\n%\xE2\xE3\xCF\xD3\n" : "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
    // Plotter units from the sheet's lower left corner; round nib, round corners.
    const double scale = kPointsPerUnit / userUnit_;
    put("%.10g 0 0 %.10g %.10g %.10g cm 1 J 1 j\nq\n", scale, scale, -sheet.left * scale,
        -sheet.bottom * scale);
    setClip(nullptr);
}

void PdfSurface::put(const char* format, ...) {
    va_list args;
    va_start(args, format);
    appendFormatted(content_, format, args);
    va_end(args);
    if (content_.size() >= kContentPiece) flushContent();
}

void PdfSurface::writeRaw(const QByteArray& bytes) {
    if (out_.write(bytes) != bytes.size()) ok_ = false;
    written_ += bytes.size();
}

qint64 PdfSurface::beginObject(int number) {
    offsets_[number] = written_;
    writeRaw(QByteArray::number(number) + " 0 obj\n");
    return written_;
}

void PdfSurface::writeStream(int number, const QByteArray& data, const std::string& extra) {
    const QByteArray packed = deflate(data);
    beginObject(number);
    writeRaw("<< /Length " + QByteArray::number(packed.size()) + " /Filter /FlateDecode" +
             QByteArray::fromStdString(extra) + " >>\nstream\n");
    writeRaw(packed);
    writeRaw("\nendstream\nendobj\n");
}

// The page's content so far as streams of about kContentPiece bytes each
// (a large area's path is cut between two of its lines: the page reads its
// streams as one), stopping when the picture is given up.
void PdfSurface::flushContent() {
    std::size_t from = 0;
    while (from < content_.size() && !(cancel_ && cancel_->load(std::memory_order_relaxed))) {
        std::size_t end = content_.size();
        if (end - from > kContentPiece) {
            const std::size_t line = content_.rfind('\n', from + kContentPiece);
            end = line != std::string::npos && line >= from ? line + 1 : end;
        }
        const int number = nextObject_++;
        writeStream(number, QByteArray(content_.data() + from, static_cast<qsizetype>(end - from)));
        contents_.push_back(number);
        from = end;
    }
    content_.clear();
}

void PdfSurface::frame(const Rect* window) {
    text_.flush();
    const Rect& s = sheet_;
    put("0.784 0.784 0.784 RG 4 w %.0f %.0f %.0f %.0f re S\n", s.left, s.bottom, s.width(),
        s.height());
    if (window) {
        put("0.620 0.792 0.882 RG [80 40] 0 d %.0f %.0f %.0f %.0f re S [] 0 d\n", window->left,
            window->bottom, window->width(), window->height());
    }
    currentPen_ = -1;
}

void PdfSurface::setClip(const Rect* window) {
    text_.flush();
    const Rect r = clipBox(sheet_, window);
    // A new clip needs a fresh graphics state: the pen is set again after it.
    put("Q q %.0f %.0f %.0f %.0f re W n\n", r.left, r.bottom, r.width(), r.height());
    currentPen_ = -1;
}

void PdfSurface::usePen(int pen) {
    if (pen == currentPen_) return;
    currentPen_ = pen;
    const PenLook look = penLook(pen);
    const double r = ((look.rgb >> 16) & 0xFF) / 255.0, g = ((look.rgb >> 8) & 0xFF) / 255.0,
                 b = (look.rgb & 0xFF) / 255.0;
    put("%.3f %.3f %.3f RG %.3f %.3f %.3f rg %.1f w\n", r, g, b, r, g, b,
        look.widthMm * kUnitsPerMm);
}

void PdfSurface::path(const Point* points, std::size_t count) {
    appendPolyline(content_, kPdfPath, points, count);
    put("S\n");
}

void PdfSurface::stroke(int pen, const Point* points, std::size_t count) {
    text_.flush();
    if (count == 0) return;
    usePen(pen);
    forEachPart(limit_, points, count, [this](const Point* p, std::size_t n) { path(p, n); });
}

void PdfSurface::fill(int pen, const Polygon& polygon, bool evenOdd) {
    text_.flush();
    const bool any = appendArea(
        content_, kPdfPath, limit_, polygon, [&] { usePen(pen); }, [&] { put("h\n"); }, cancel_);
    if (any) put(evenOdd ? "f*\n" : "f\n");
}

void PdfSurface::glyph(int pen, const Glyph& g) {
    if (glyphNear(limit_, g)) text_.add(pen, g);
}

// The page's font code of a character drawn as `drawn` that stands for
// `text`; 0 when the font has no glyph for it.
int PdfSurface::codeFor(char32_t drawn, char32_t text) {
    const auto key = std::make_pair(drawn, text);
    if (const auto it = codeOf_.find(key); it != codeOf_.end()) return it->second;
    int code = 0;
    const QList<quint32> indexes =
        raw_.isValid() ? raw_.glyphIndexesForString(glyphText(drawn)) : QList<quint32>();
    if (!indexes.isEmpty() && codes_.size() < static_cast<std::size_t>(kLargestCode)) {
        const QList<QPointF> advances = raw_.advancesForGlyphIndexes(QList<quint32>{indexes[0]});
        const double em = raw_.pixelSize() > 0 ? raw_.pixelSize() : 100;
        codes_.push_back(
            {indexes[0], text, advances.isEmpty() ? 1000 : advances.front().x() / em * 1000});
        code = static_cast<int>(codes_.size());
    }
    codeOf_[key] = code;
    return code;
}

void PdfSurface::drawGlyph(int pen, const Glyph& g, char32_t text) {
    const int code = codeFor(g.code, text);
    if (code == 0) return;
    usePen(pen);
    // Text space (one em, y up) to the font's pixels (y down), then into the
    // character's box in plotter units.
    const double em = raw_.pixelSize() > 0 ? raw_.pixelSize() : 100;
    const QTransform m = QTransform(em, 0, 0, -em, 0, 0) * glyphToPlotter(g, box_);
    put("q %.5f %.5f %.5f %.5f %.2f %.2f cm BT /F1 1 Tf <%04X> Tj ET Q\n", m.m11(), m.m12(),
        m.m21(), m.m22(), m.dx(), m.dy(), static_cast<unsigned>(code));
}

// Each code's text, so that copying and searching give the drawing's characters.
QByteArray PdfSurface::toUnicode() const {
    QByteArray cmap = "/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n"
                      "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> "
                      "def\n/CMapName /Adobe-Identity-UCS def /CMapType 2 def\n"
                      "1 begincodespacerange <0000> <FFFF> endcodespacerange\n";
    for (std::size_t i = 0; i < codes_.size(); i += 100) {
        const std::size_t n = std::min<std::size_t>(100, codes_.size() - i);
        cmap += QByteArray::number(static_cast<qulonglong>(n)) + " beginbfchar\n";
        for (std::size_t k = i; k < i + n; ++k) {
            QByteArray utf16;
            for (QChar c : glyphText(codes_[k].text))
                utf16 += hex4(c.unicode());
            cmap += "<" + hex4(static_cast<unsigned>(k + 1)) + "> <" + utf16 + ">\n";
        }
        cmap += "endbfchar\n";
    }
    cmap += "endcmap CMapName currentdict /CMap defineresource pop end end\n";
    return cmap;
}

// The font goes last, when every glyph the page uses is known: a CID font
// whose codes are numbered in order of first use, each mapped to its glyph
// in the embedded subset.
void PdfSurface::writeFont() {
    std::set<std::uint32_t> used;
    for (const Code& c : codes_)
        used.insert(c.glyph);
    const FontSubset subset = subsetPlotterFont(used);
    const bool embed = !subset.program.isEmpty();
    const QByteArray name =
        embed && !subset.whole ? subsetTag(used) + "+IPAGothic" : QByteArray("IPAGothic");

    beginObject(kFont);
    writeRaw("<< /Type /Font /Subtype /Type0 /BaseFont /" + name +
             " /Encoding /Identity-H /DescendantFonts [5 0 R] /ToUnicode 8 0 R >>\nendobj\n");
    QByteArray widths;
    QByteArray glyphOf(static_cast<qsizetype>(2 * (codes_.size() + 1)), '\0'); // code 0: none
    for (std::size_t i = 0; i < codes_.size(); ++i) {
        widths += QByteArray::number(static_cast<int>(std::lround(codes_[i].width))) + " ";
        const auto it = subset.newIndex.find(codes_[i].glyph);
        const std::uint32_t to = it == subset.newIndex.end() ? codes_[i].glyph : it->second;
        glyphOf[static_cast<qsizetype>(2 * (i + 1))] = static_cast<char>((to >> 8) & 0xFF);
        glyphOf[static_cast<qsizetype>(2 * (i + 1) + 1)] = static_cast<char>(to & 0xFF);
    }
    beginObject(kCidFont);
    writeRaw("<< /Type /Font /Subtype /CIDFontType2 /BaseFont /" + name +
             " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> "
             "/FontDescriptor 6 0 R /CIDToGIDMap 9 0 R /DW 1000 /W [1 [" +
             widths + "]] >>\nendobj\n");
    writeStream(kCidToGlyph, glyphOf);
    beginObject(kDescriptor);
    writeRaw("<< /Type /FontDescriptor /FontName /" + name +
             " /Flags 4 /FontBBox [-1000 -200 2000 1000] /ItalicAngle 0 /Ascent 880 "
             "/Descent -120 /CapHeight 730 /StemV 80" +
             (embed ? " /FontFile2 7 0 R" : "") + " >>\nendobj\n");
    if (embed)
        writeStream(kFontFile, subset.program,
                    " /Length1 " + std::to_string(subset.program.size()));
    writeStream(kToUnicode, toUnicode());
}

bool PdfSurface::finish() {
    text_.flush();
    put("Q\n");
    flushContent();
    if (!codes_.empty()) writeFont();

    QByteArray contents;
    for (int number : contents_)
        contents += QByteArray::number(number) + " 0 R ";
    beginObject(kPage);
    writeRaw("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " +
             QByteArray::number(sheet_.width() * kPointsPerUnit / userUnit_, 'f', 2) + " " +
             QByteArray::number(sheet_.height() * kPointsPerUnit / userUnit_, 'f', 2) + "] " +
             (userUnit_ > 1 ? "/UserUnit " + QByteArray::number(userUnit_, 'f', 0) + " "
                            : QByteArray()) +
             "/Resources << " +
             (codes_.empty() ? QByteArray() : QByteArray("/Font << /F1 4 0 R >> ")) +
             ">> /Contents [" + contents + "] >>\nendobj\n");
    beginObject(kPages);
    writeRaw("<< /Type /Pages /Kids [3 0 R] /Count 1 >>\nendobj\n");
    beginObject(kCatalog);
    writeRaw("<< /Type /Catalog /Pages 2 0 R >>\nendobj\n");

    const qint64 xref = written_;
    const int size = nextObject_;
    QByteArray table = "xref\n0 " + QByteArray::number(size) + "\n0000000000 65535 f \n";
    for (int number = 1; number < size; ++number) {
        const auto it = offsets_.find(number);
        if (it == offsets_.end()) {
            table += "0000000000 65535 f \n";
        } else {
            table += QByteArray::number(it->second).rightJustified(10, '0') + " 00000 n \n";
        }
    }
    writeRaw(table);
    writeRaw("trailer\n<< /Size " + QByteArray::number(size) + " /Root 1 0 R >>\nstartxref\n" +
             QByteArray::number(xref) + "\n%%EOF\n");
    return ok_;
}

} // namespace kesto::render
