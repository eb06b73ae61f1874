#include "render/WrittenText.h"

#include "convert/text/KanjiTables.h"
#include "render/CharacterSets.h"

#include <array>
#include <cmath>

namespace kesto::render {

namespace {

constexpr char32_t kFirstHalfWidthKatakana = 0xFF61; // ｡, the byte 0xA1 of code page 932
constexpr char32_t kVoicedMark = 0x309B, kSemiVoicedMark = 0x309C; // ゛ ゜
constexpr std::size_t kLongestRun = 4096; // held characters; a longer run is told as it stands

struct Twin {
    char32_t full;
    char32_t half;
};

// The converter's own table, read back through the kanji set.
const std::array<Twin, kanji::kHalfWidthKanaCount>& twins() {
    static const auto table = [] {
        std::array<Twin, kanji::kHalfWidthKanaCount> t{};
        for (std::size_t i = 0; i < t.size(); ++i) {
            const std::uint16_t jis = kanji::kHalfWidthKana[i];
            t[i] = {kanjiSetCharacter(static_cast<unsigned char>(jis >> 8),
                                      static_cast<unsigned char>(jis & 0xFF)),
                    static_cast<char32_t>(kFirstHalfWidthKatakana + i)};
        }
        return t;
    }();
    return table;
}

bool isMark(char32_t c) {
    return c == kVoicedMark || c == kSemiVoicedMark;
}

// Whether `b` is the next character of the line of writing that `a` is in:
// the same size and direction, a little further along the same baseline
// (a space between them is not drawn).  Labels elsewhere on the sheet start
// a run of their own.
bool follows(const Glyph& a, const Glyph& b) {
    if (a.w != b.w || a.h != b.h || a.slant != b.slant || a.along.x != b.along.x ||
        a.along.y != b.along.y)
        return false;
    const double dx = b.origin.x - a.origin.x, dy = b.origin.y - a.origin.y;
    const double along = dx * a.along.x + dy * a.along.y;
    const double across = dy * a.along.x - dx * a.along.y;
    return along > 0 && along <= 4 * std::abs(a.w) && std::abs(across) <= 0.25 * std::abs(a.h);
}

} // namespace

char32_t halfWidthTwin(char32_t fullWidth) {
    for (const Twin& t : twins())
        if (t.full == fullWidth && fullWidth != 0) return t.half;
    return 0;
}

void WrittenText::add(int pen, const Glyph& glyph) {
    const bool twin = glyph.width == GlyphWidth::Full && halfWidthTwin(glyph.code) != 0;
    if (!twin) {
        flush();
        sink_(pen, glyph, glyph.code);
        return;
    }
    if (!run_.empty() && (run_.back().pen != pen || !follows(run_.back().glyph, glyph))) flush();
    if (isMark(glyph.code) && !run_.empty() && !isMark(run_.back().glyph.code)) marked_ = true;
    run_.push_back({pen, glyph});
    if (run_.size() >= kLongestRun) flush();
}

void WrittenText::flush() {
    for (const Held& h : run_)
        sink_(h.pen, h.glyph, marked_ ? halfWidthTwin(h.glyph.code) : h.glyph.code);
    run_.clear();
    marked_ = false;
}

} // namespace kesto::render
