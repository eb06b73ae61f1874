#include "render/WrittenText.h"

#include "convert/text/KanjiTables.h"
#include "render/CharacterSets.h"

#include <algorithm>
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

bool isKatakana(char32_t c) {
    return c >= 0x30A1 && c <= 0x30FA;
}

bool sameDirection(const Glyph& a, const Glyph& b) {
    return a.slant == b.slant && a.along.x == b.along.x && a.along.y == b.along.y;
}

// `b`'s origin from `a`'s, along and across the writing direction.
void offset(const Glyph& a, const Glyph& b, double& along, double& across) {
    const double dx = b.origin.x - a.origin.x, dy = b.origin.y - a.origin.y;
    along = dx * a.along.x + dy * a.along.y;
    across = dy * a.along.x - dx * a.along.y;
}

// Whether `b` is the next character of the line of writing that `a` is in:
// the same size and direction, a little further along the same baseline
// (a space between them is not drawn).  Labels elsewhere on the sheet start
// a run of their own.
bool follows(const Glyph& a, const Glyph& b) {
    if (a.w != b.w || a.h != b.h || !sameDirection(a, b)) return false;
    double along = 0, across = 0;
    offset(a, b, along, across);
    return along > 0 && along <= 4 * std::abs(a.w) && std::abs(across) <= 0.25 * std::abs(a.h);
}

// Whether a character of the kanji set sits beside one of the standard set
// on the same line: the kanji set is drawn larger and moved by the kanji
// position factors, so the test is looser than follows().
bool beside(const Glyph& a, const Glyph& b) {
    if (!sameDirection(a, b)) return false;
    const double w = std::max(std::abs(a.w), std::abs(b.w));
    const double h = std::max(std::abs(a.h), std::abs(b.h));
    double along = 0, across = 0;
    offset(a, b, along, across);
    return std::abs(along) <= 4 * w && std::abs(across) <= 0.6 * h;
}

} // namespace

char32_t halfWidthTwin(char32_t fullWidth) {
    for (const Twin& t : twins())
        if (t.full == fullWidth && fullWidth != 0) return t.half;
    return 0;
}

char32_t fullWidthTwin(char32_t halfWidth) {
    if (halfWidth < kFirstHalfWidthKatakana ||
        halfWidth >= kFirstHalfWidthKatakana + twins().size())
        return 0;
    return twins()[halfWidth - kFirstHalfWidthKatakana].full;
}

WrittenText::Kind WrittenText::kindOf(const Glyph& g) {
    if (g.width == GlyphWidth::Full) {
        if (halfWidthTwin(g.code) != 0) return Kind::FullTwin;
        return isKatakana(g.code) ? Kind::FullOnly : Kind::Other;
    }
    return fullWidthTwin(g.code) != 0 ? Kind::HalfTwin : Kind::Other;
}

void WrittenText::add(int pen, const Glyph& glyph) {
    const Kind kind = kindOf(glyph);
    if (!run_.empty() &&
        (kind != runKind_ || run_.back().pen != pen || !follows(run_.back().glyph, glyph))) {
        // A full-width katakana with no half-width form right after
        // half-width ones: they were all full width in the drawing.
        if (runKind_ == Kind::HalfTwin && kind == Kind::FullOnly &&
            beside(run_.back().glyph, glyph))
            marked_ = true;
        flush();
    }
    if (kind != Kind::FullTwin && kind != Kind::HalfTwin) {
        sink_(pen, glyph, glyph.code);
        lastFullOnly_ = kind == Kind::FullOnly;
        if (lastFullOnly_) last_ = glyph;
        return;
    }
    if (run_.empty()) {
        runKind_ = kind;
        marked_ = kind == Kind::HalfTwin && lastFullOnly_ && beside(last_, glyph);
    }
    if (kind == Kind::FullTwin && isMark(glyph.code) && !run_.empty() &&
        !isMark(run_.back().glyph.code))
        marked_ = true;
    run_.push_back({pen, glyph});
    if (run_.size() >= kLongestRun) flush();
}

void WrittenText::flush() {
    for (const Held& h : run_) {
        const char32_t code = h.glyph.code;
        const char32_t twin =
            runKind_ == Kind::FullTwin ? halfWidthTwin(code) : fullWidthTwin(code);
        sink_(h.pen, h.glyph, marked_ ? twin : code);
    }
    run_.clear();
    marked_ = false;
    lastFullOnly_ = false;
}

} // namespace kesto::render
