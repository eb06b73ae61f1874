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
// Where no mark tells (a lone "ｷﾘ"), the GLF file cannot tell either and the
// text stays the full-width characters that are drawn.

#include "render/PlotSurface.h"

#include <functional>
#include <vector>

namespace kesto::render {

// The half-width katakana the converter writes as `fullWidth` in the kanji
// set; 0 when there is none.
char32_t halfWidthTwin(char32_t fullWidth);

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
    struct Held {
        int pen;
        Glyph glyph;
    };
    Sink sink_;
    std::vector<Held> run_;
    bool marked_ = false; // a voiced or semi-voiced mark follows a katakana in the run
};

} // namespace kesto::render
