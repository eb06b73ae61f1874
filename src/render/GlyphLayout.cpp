#include "render/GlyphLayout.h"

#include "render/PlotterUnits.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontMetricsF>

#include <mutex>

namespace kesto::render {

namespace {

constexpr int kReferencePixels = 100; // the font's size before the glyph transform

} // namespace

namespace {

std::once_flag fontOnce;
QString fontFamily;
QString fontFile;

} // namespace

QString plotterFontFile() {
    plotterFont();
    return fontFile;
}

QFont plotterFont() {
    std::once_flag& once = fontOnce;
    QString& family = fontFamily;
    std::call_once(once, [] {
        QString& family = fontFamily;
        const char* const candidates[] = {"/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf",
                                          "/usr/share/fonts/truetype/fonts-japanese-gothic.ttf"};
        for (const char* path : candidates) {
            if (!QFile::exists(QString::fromUtf8(path))) continue;
            const int id = QFontDatabase::addApplicationFont(QString::fromUtf8(path));
            const QStringList families = QFontDatabase::applicationFontFamilies(id);
            if (!families.isEmpty()) {
                family = families.front();
                fontFile = QString::fromUtf8(path);
                break;
            }
        }
    });
    QFont font = family.isEmpty() ? QFont(QString::fromLatin1(kFontFamily)) : QFont(family);
    if (family.isEmpty()) font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(kReferencePixels);
    font.setKerning(false);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

FontBox fontBox(const QFont& font) {
    const QFontMetricsF fm(font);
    FontBox box;
    box.halfAdvance = fm.horizontalAdvance(QChar(u'0'));
    box.fullAdvance = fm.horizontalAdvance(QChar(u'\u6F22'));
    box.capHeight = fm.capHeight();
    box.ascent = fm.ascent();
    box.descent = fm.descent();
    if (!(box.halfAdvance > 0)) box.halfAdvance = kReferencePixels / 2.0;
    if (!(box.fullAdvance > 0)) box.fullAdvance = kReferencePixels;
    if (!(box.capHeight > 0)) box.capHeight = kReferencePixels * 0.7;
    if (!(box.ascent + box.descent > 0)) {
        box.ascent = kReferencePixels;
        box.descent = 0;
    }
    return box;
}

// The character's body box is the rectangle (0, 0)-(w, h) of a frame whose x
// axis runs along the writing direction and whose y axis is slanted by the
// slant; the font's glyph is stretched into it: half-width characters by
// their advance and capital height.  A kanji-set character's box is its
// cell: the plotter draws the character in the cell's upper right part,
// leaving a sixth of the cell free on the left and below (that is why the
// converter enlarges kanji cells and moves them left and down by a fifth of
// the character size: their characters then line up with the standard set).
QTransform glyphToPlotter(const Glyph& g, const FontBox& f) {
    constexpr double kKanjiInset = 1.0 / 6;
    const bool full = g.width == GlyphWidth::Full;
    const double inset = full ? kKanjiInset : 0;
    const double a = g.w * (1 - inset) / (full ? f.fullAdvance : f.halfAdvance);
    const double b = g.h * (1 - inset) / (full ? f.ascent + f.descent : f.capHeight);
    const double u0 = g.w * inset;                             // left edge of the glyph
    const double c = g.h * inset + (full ? f.descent * b : 0); // baseline above the box's bottom
    const double ax = g.along.x, ay = g.along.y;
    const double px = -ay, py = ax; // up in the character frame
    const double s = g.slant;
    // Font coordinates (x right, y down, baseline 0) to plotter units.
    return QTransform(a * ax, a * ay, -b * (s * ax + px), -b * (s * ay + py),
                      g.origin.x + ax * (u0 + s * c) + px * c,
                      g.origin.y + ay * (u0 + s * c) + py * c);
}

QString glyphText(char32_t code) {
    char16_t units[2];
    int n = 1;
    if (code > 0xFFFF) {
        units[0] = static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
        units[1] = static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        n = 2;
    } else {
        units[0] = static_cast<char16_t>(code);
    }
    return QString(reinterpret_cast<const QChar*>(units), n);
}

} // namespace kesto::render
