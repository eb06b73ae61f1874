#pragma once
// The plotter font cut down to the glyphs a document uses, so that a PDF
// carries only what it shows.  The cutting is done by HarfBuzz's subsetter.

#include <QByteArray>

#include <cstdint>
#include <map>
#include <set>

namespace kesto::render {

struct FontSubset {
    QByteArray program;                              // the TrueType file of the subset
    std::map<std::uint32_t, std::uint32_t> newIndex; // glyph index in the font -> in the subset
    bool whole = false; // the subsetter failed: `program` is the whole font, indexes unchanged
};

// The plotter font's file (the one plotterFont() loaded) with only `glyphs`
// (and what they are built from).  An empty program when there is no font
// file to embed.
FontSubset subsetPlotterFont(const std::set<std::uint32_t>& glyphs);

// The six capital letters that name a subset ("ABCDEF+Font"), the same for
// the same glyphs.
QByteArray subsetTag(const std::set<std::uint32_t>& glyphs);

} // namespace kesto::render
