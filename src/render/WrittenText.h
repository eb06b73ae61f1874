#pragma once
// The characters behind a drawing's labels, for the text of a PDF or SVG.
//
// With katakana set to full width the converter writes every half-width
// katakana of the drawing as its full-width twin in the kanji set, one byte
// at a time: "ｷﾞ" becomes the two characters "キ゛".  A drawing's author who
// writes full-width katakana writes "ギ", never "キ゛"; so a run of such
// twins along one line of writing that holds a separate voiced or
// semi-voiced mark after a katakana was half-width katakana in the drawing,
// and its text is given back so.
//
// With katakana set to half width it is the other way round: full-width
// katakana become half-width ones, except those with no half-width form
// (voiced ones among them), which stay in the kanji set: "フランジ" becomes
// "ﾌﾗﾝジ".  Half-width katakana right beside such a character on its line
// were full-width in the drawing.
//
// Where nothing tells (a lone "ｷﾘ" written as "キリ"), the GLF file cannot
// tell either and the text is the characters that are drawn.

#include "render/PlotSurface.h"

#include <functional>
#include <vector>

namespace kesto::render {

// The half-width katakana the converter writes as `fullWidth` in the kanji
// set; 0 when there is none.
char32_t halfWidthTwin(char32_t fullWidth);
// The full-width katakana the converter writes as `halfWidth`; 0 when none.
char32_t fullWidthTwin(char32_t halfWidth);

class WrittenText {
public:
    // Receives each character as drawn, with the character to give as its text.
    using Sink = std::function<void(int pen, const Glyph& glyph, char32_t text)>;
    explicit WrittenText(Sink sink) : sink_(std::move(sink)) {}

    // The next character of the drawing.  Characters that may be twins wait
    // for the end of their run.
    void add(int pen, const Glyph& glyph);
    // Ends the run: anything else drawn, or the end of the drawing.
    void flush();

private:
    enum class Kind {
        FullTwin, // kanji set, with a half-width twin
        FullOnly, // kanji-set katakana without one
        HalfTwin, // standard-set half-width katakana
        Other,
    };
    static Kind kindOf(const Glyph& glyph);

    struct Held {
        int pen;
        Glyph glyph;
    };
    Sink sink_;
    std::vector<Held> run_;
    Kind runKind_ = Kind::Other;
    bool marked_ = false;       // the run is told as its twins
    bool lastFullOnly_ = false; // the character before the run: `last_`, a FullOnly one
    Glyph last_;
};

} // namespace kesto::render
