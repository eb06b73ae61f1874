#include "render/PdfSurface.h"

#include "render/AppendFormatted.h"
#include "render/PenTable.h"
#include "render/PlotterUnits.h"

#include <QFile>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace kesto::render {

namespace {

constexpr double kPointsPerUnit = 72.0 / kUnitsPerInch; // plotter units to points
constexpr std::size_t kContentPiece = 4 << 20;          // bytes of content per compressed piece
constexpr int kCatalog = 1, kPages = 2, kPage = 3, kFont = 4, kCidFont = 5, kDescriptor = 6,
              kFontFile = 7, kToUnicode = 8;

QByteArray deflate(const QByteArray& data) {
    // qCompress puts the length in front of a zlib stream; PDF wants the stream.
    return qCompress(data, 1).mid(4);
}

// The plotter font's file, compressed once per process: every PDF embeds it.
struct EmbeddedFont {
    QByteArray packed;
    qsizetype length = 0;
};
const EmbeddedFont& embeddedFont() {
    static const EmbeddedFont font = [] {
        EmbeddedFont f;
        QFile file(plotterFontFile());
        if (!plotterFontFile().isEmpty() && file.open(QIODevice::ReadOnly)) {
            const QByteArray bytes = file.readAll();
            f.length = bytes.size();
            if (f.length > 0) f.packed = deflate(bytes);
        }
        return f;
    }();
    return font;
}

} // namespace

PdfSurface::PdfSurface(QIODevice& out, const Rect& sheet)
    : out_(out), sheet_(sheet), font_(plotterFont()), box_(fontBox(font_)),
      raw_(QRawFont::fromFont(font_)) {
    writeRaw("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
    // Plotter units from the sheet's lower left corner; round nib, round corners.
    put("%.6f 0 0 %.6f %.4f %.4f cm 1 J 1 j\nq\n", kPointsPerUnit, kPointsPerUnit,
        -sheet.left * kPointsPerUnit, -sheet.bottom * kPointsPerUnit);
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
    writePacked(number, deflate(data), extra);
}

void PdfSurface::writePacked(int number, const QByteArray& packed, const std::string& extra) {
    beginObject(number);
    writeRaw("<< /Length " + QByteArray::number(packed.size()) + " /Filter /FlateDecode" +
             QByteArray::fromStdString(extra) + " >>\nstream\n");
    writeRaw(packed);
    writeRaw("\nendstream\nendobj\n");
}

void PdfSurface::flushContent() {
    if (content_.empty()) return;
    const int number = nextObject_++;
    writeStream(number, QByteArray::fromStdString(content_));
    contents_.push_back(number);
    content_.clear();
}

void PdfSurface::frame(const Rect* window) {
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
    Rect r = sheet_;
    if (window) {
        r.left = std::max(r.left, window->left);
        r.bottom = std::max(r.bottom, window->bottom);
        r.right = std::max(r.left, std::min(r.right, window->right));
        r.top = std::max(r.bottom, std::min(r.top, window->top));
    }
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

// "x y op" in whole plotter steps, as the plotter moves.
void PdfSurface::point(Point p, char op) {
    char buffer[48];
    char* at = buffer;
    for (double v : {p.x, p.y}) {
        const double r = std::isnan(v) ? 0 : std::clamp(std::round(v), -1e12, 1e12);
        at = std::to_chars(at, buffer + sizeof buffer, static_cast<long long>(r)).ptr;
        *at++ = ' ';
    }
    *at++ = op;
    *at++ = '\n';
    content_.append(buffer, static_cast<std::size_t>(at - buffer));
}

void PdfSurface::stroke(int pen, const Point* points, std::size_t count) {
    if (count == 0) return;
    usePen(pen);
    point(points[0], 'm');
    if (count == 1) point(points[0], 'l');
    for (std::size_t i = 1; i < count; ++i)
        point(points[i], 'l');
    put("S\n");
}

void PdfSurface::fill(int pen, const Polygon& polygon, bool evenOdd) {
    usePen(pen);
    std::size_t at = 0;
    for (std::size_t r = 0; r < polygon.rings; ++r) {
        const std::size_t end = at + polygon.ringSizes[r];
        if (at == end) continue;
        point(polygon.corner(at++), 'm');
        while (at < end)
            point(polygon.corner(at++), 'l');
        put("h\n");
    }
    put(evenOdd ? "f*\n" : "f\n");
}

void PdfSurface::glyph(int pen, const Glyph& g) {
    usePen(pen);
    const QList<quint32> indexes =
        raw_.isValid() ? raw_.glyphIndexesForString(glyphText(g.code)) : QList<quint32>();
    if (indexes.isEmpty()) return;
    const quint32 index = indexes.front();
    if (glyphs_.find(index) == glyphs_.end()) {
        const QList<QPointF> advances = raw_.advancesForGlyphIndexes(QList<quint32>{index});
        const double em = raw_.pixelSize() > 0 ? raw_.pixelSize() : 100;
        glyphs_[index] = {g.code, advances.isEmpty() ? 1000 : advances.front().x() / em * 1000};
    }
    // Text space (one em, y up) to the font's pixels (y down), then into the
    // character's box in plotter units.
    const double em = raw_.pixelSize() > 0 ? raw_.pixelSize() : 100;
    const QTransform m = QTransform(em, 0, 0, -em, 0, 0) * glyphToPlotter(g, box_);
    put("q %.5f %.5f %.5f %.5f %.2f %.2f cm BT /F1 1 Tf <%04X> Tj ET Q\n", m.m11(), m.m12(),
        m.m21(), m.m22(), m.dx(), m.dy(), index);
}

bool PdfSurface::finish() {
    put("Q\n");
    flushContent();

    // The font as a CID font addressed by glyph index.
    if (!glyphs_.empty()) {
        const QByteArray family(kFontFamily);
        beginObject(kFont);
        writeRaw("<< /Type /Font /Subtype /Type0 /BaseFont /" + family +
                 " /Encoding /Identity-H /DescendantFonts [5 0 R] /ToUnicode 8 0 R >>\nendobj\n");
        QByteArray widths;
        for (const auto& [index, glyph] : glyphs_)
            widths += QByteArray::number(index) + " [" +
                      QByteArray::number(static_cast<int>(std::lround(glyph.second))) + "] ";
        beginObject(kCidFont);
        writeRaw("<< /Type /Font /Subtype /CIDFontType2 /BaseFont /" + family +
                 " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> "
                 "/FontDescriptor 6 0 R "
                 "/CIDToGIDMap /Identity /DW 1000 /W [" +
                 widths + "] >>\nendobj\n");
        const EmbeddedFont& font = embeddedFont();
        const bool embed = !font.packed.isEmpty();
        beginObject(kDescriptor);
        writeRaw(
            "<< /Type /FontDescriptor /FontName /" + family +
            " /Flags 4 /FontBBox [-1000 -200 2000 1000] /ItalicAngle 0 /Ascent 880 /Descent -120 "
            "/CapHeight 730 /StemV 80" +
            (embed ? " /FontFile2 7 0 R" : "") + " >>\nendobj\n");
        if (embed) writePacked(kFontFile, font.packed, " /Length1 " + std::to_string(font.length));
        QByteArray cmap = "/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n"
                          "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> "
                          "def\n/CMapName /Adobe-Identity-UCS def /CMapType 2 def\n"
                          "1 begincodespacerange <0000> <FFFF> endcodespacerange\n";
        std::vector<std::pair<quint32, char32_t>> pairs;
        for (const auto& [index, glyph] : glyphs_)
            pairs.emplace_back(index, glyph.first);
        for (std::size_t i = 0; i < pairs.size(); i += 100) {
            const std::size_t n = std::min<std::size_t>(100, pairs.size() - i);
            cmap += QByteArray::number(static_cast<qulonglong>(n)) + " beginbfchar\n";
            for (std::size_t k = i; k < i + n; ++k) {
                const QString text = glyphText(pairs[k].second);
                QByteArray utf16;
                for (QChar c : text)
                    utf16 += QByteArray::number(c.unicode(), 16).rightJustified(4, '0').toUpper();
                cmap += "<" +
                        QByteArray::number(pairs[k].first, 16).rightJustified(4, '0').toUpper() +
                        "> <" + utf16 + ">\n";
            }
            cmap += "endbfchar\n";
        }
        cmap += "endcmap CMapName currentdict /CMap defineresource pop end end\n";
        writeStream(kToUnicode, cmap);
    }

    QByteArray contents;
    for (int number : contents_)
        contents += QByteArray::number(number) + " 0 R ";
    beginObject(kPage);
    writeRaw("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " +
             QByteArray::number(sheet_.width() * kPointsPerUnit, 'f', 2) + " " +
             QByteArray::number(sheet_.height() * kPointsPerUnit, 'f', 2) + "] /Resources << " +
             (glyphs_.empty() ? QByteArray() : QByteArray("/Font << /F1 4 0 R >> ")) +
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
