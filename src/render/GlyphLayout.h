#pragma once
// How a plotter character is laid into the font: the font, its measures and
// the transform that stretches a glyph into the character's body box.

#include "render/PlotSurface.h"

#include <QFont>
#include <QString>
#include <QTransform>

namespace kesto::render {

// The font the plotter's characters are drawn with: IPAGothic (loaded from
// the Debian font package when it is there), else the system's sans serif,
// at a reference size that the glyph transform scales.  Needs a
// QGuiApplication.
QFont plotterFont();
// The file that font was loaded from ("" when a system font stands in).
QString plotterFontFile();

// The measures of that font the layout uses, in its reference pixels.
struct FontBox {
    double halfAdvance = 50, fullAdvance = 100, capHeight = 70, ascent = 88, descent = 12;
};
FontBox fontBox(const QFont& font);

// Font coordinates (x right, y down, baseline 0) to plotter units.
QTransform glyphToPlotter(const Glyph& glyph, const FontBox& box);

QString glyphText(char32_t code);

} // namespace kesto::render
