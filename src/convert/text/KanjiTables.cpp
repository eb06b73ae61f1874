// The code tables of the kanji set.  Each entry carries, in its comment, the
// glyph that code page 932 shows for the code it names.
#include "convert/text/KanjiTables.h"

namespace kesto::kanji {

// Single-byte drawing codes that the kanji set draws.  60 and 62 are the angle
// brackets, 124 a minus sign, 34 and 39 the prime marks, 96 the degree sign.
const std::array<SymbolEntry, kSymbolCount> kSymbolTable = {{
    {1, 0x2222},   // □
    {3, 0x2140},   // ＼
    {12, 0x222C},  // ↑
    {13, 0x222D},  // ↓
    {14, 0x222B},  // ←
    {15, 0x222A},  // →
    {24, 0x214E},  // ［
    {25, 0x2150},  // ｛
    {26, 0x212A},  // ！
    {27, 0x2170},  // ＄
    {29, 0x2142},  // ∥
    {30, 0x217E},  // ◇
    {31, 0x2164},  // ＞
    {32, 0x2121},  // (ideographic space)
    {33, 0x212A},  // ！
    {34, 0x216D},  // ″
    {35, 0x2174},  // ＃
    {36, 0x2170},  // ＄
    {37, 0x2173},  // ％
    {38, 0x2175},  // ＆
    {39, 0x216C},  // ′
    {40, 0x214A},  // （
    {41, 0x214B},  // ）
    {42, 0x2176},  // ＊
    {43, 0x215C},  // ＋
    {44, 0x2124},  // ，
    {45, 0x215D},  // －
    {46, 0x2125},  // ．
    {47, 0x213F},  // ／
    {58, 0x2127},  // ：
    {59, 0x2128},  // ；
    {60, 0x2152},  // 〈
    {61, 0x2161},  // ＝
    {62, 0x2153},  // 〉
    {63, 0x2129},  // ？
    {64, 0x2177},  // ＠
    {91, 0x214E},  // ［
    {92, 0x216F},  // ￥
    {93, 0x214F},  // ］
    {94, 0x2130},  // ＾
    {95, 0x2132},  // ＿
    {96, 0x216B},  // °
    {123, 0x2150}, // ｛
    {124, 0x215D}, // －
    {125, 0x2151}, // ｝
    {126, 0x2141}, // ～
    {127, 0x2222}, // □
    {128, 0x2222}, // □
    {129, 0x2655}, // φ
    {132, 0x2356}, // Ｖ
    {133, 0x2629}, // Ι
    {134, 0x2624}, // Δ
    {135, 0x2141}, // ～
    {137, 0x2733}, // С
    {138, 0x217D}, // ◎
    {141, 0x217B}, // ○
    {143, 0x225D}, // ⊥
    {145, 0x225C}, // ∠
    {147, 0x212C}, // ゜
    {148, 0x2170}, // ＄
    {149, 0x215E}, // ±
    {150, 0x2265}, // √
    {151, 0x215D}, // －
    {152, 0x2638}, // Ω
    {153, 0x264C}, // μ
    {155, 0x2167}, // ∞
    {156, 0x2262}, // ≒
    {157, 0x215F}, // ×
    {158, 0x225C}, // ∠
    {159, 0x2142}, // ∥
    {160, 0x2170}, // ＄
    {229, 0x2142}, // ∥
    {231, 0x2164}, // ＞
    {232, 0x2142}, // ∥
    {238, 0x213F}, // ／
    {239, 0x215E}, // ±
    {240, 0x215F}, // ×
    {242, 0x217E}, // ◇
    {244, 0x2655}, // φ
    {246, 0x2165}, // ≦
    {247, 0x2166}, // ≧
    {248, 0x2638}, // Ω
    {252, 0x264C}, // μ
    {253, 0x2123}, // 。
}};

// Row-1 cells written as a standard-set alphanumeric byte.  There is no
// entry for 126.
const std::array<CellEntry, kRow1AlphanumericCount> kRow1Alphanumerics = {{
    {10, 33},  // ！ -> '!'
    {41, 34},  // ” -> '"'
    {84, 35},  // ＃ -> '#'
    {80, 36},  // ＄ -> '$'
    {83, 37},  // ％ -> '%'
    {85, 38},  // ＆ -> '&'
    {39, 39},  // ’ -> '''
    {42, 40},  // （ -> '('
    {43, 41},  // ） -> ')'
    {86, 42},  // ＊ -> '*'
    {60, 43},  // ＋ -> '+'
    {4, 44},   // ， -> ','
    {61, 45},  // － -> '-'
    {5, 46},   // ． -> '.'
    {31, 47},  // ／ -> '/'
    {7, 58},   // ： -> ':'
    {8, 59},   // ； -> ';'
    {67, 60},  // ＜ -> '<'
    {65, 61},  // ＝ -> '='
    {68, 62},  // ＞ -> '>'
    {9, 63},   // ？ -> '?'
    {87, 64},  // ＠ -> '@'
    {46, 91},  // ［ -> '['
    {79, 92},  // ￥ -> '\'
    {47, 93},  // ］ -> ']'
    {16, 94},  // ＾ -> '^'
    {18, 95},  // ＿ -> '_'
    {76, 96},  // ′ -> '`'
    {48, 123}, // ｛ -> '{'
    {35, 124}, // ｜ -> '|'
    {49, 125}, // ｝ -> '}'
}};

// Row-1 cells written as a half-width kana byte.  The middle dot (cell 6)
// stays in the kanji set.
const std::array<CellEntry, kRow1KanaCount> kRow1Kana = {{
    {54, 0xA2}, // 「 -> ｢
    {55, 0xA3}, // 」 -> ｣
    {2, 0xA4},  // 、 -> ､
    {3, 0xA1},  // 。 -> ｡
    {28, 0xB0}, // ー -> ｰ
    {11, 0xDE}, // ゛ -> ﾞ
    {12, 0xDF}, // ゜ -> ﾟ
}};

// Half-width katakana bytes and their full-width JIS codes, one byte at a
// time: voiced marks stay separate characters.
const std::array<std::uint16_t, kHalfWidthKanaCount> kHalfWidthKana = {{
    0x2123, // 0xA1 ｡ -> 。
    0x2156, // 0xA2 ｢ -> 「
    0x2157, // 0xA3 ｣ -> 」
    0x2122, // 0xA4 ､ -> 、
    0x2126, // 0xA5 ･ -> ・
    0x2572, // 0xA6 ｦ -> ヲ
    0x2521, // 0xA7 ｧ -> ァ
    0x2523, // 0xA8 ｨ -> ィ
    0x2525, // 0xA9 ｩ -> ゥ
    0x2527, // 0xAA ｪ -> ェ
    0x2529, // 0xAB ｫ -> ォ
    0x2563, // 0xAC ｬ -> ャ
    0x2565, // 0xAD ｭ -> ュ
    0x2567, // 0xAE ｮ -> ョ
    0x2543, // 0xAF ｯ -> ッ
    0x213C, // 0xB0 ｰ -> ー
    0x2522, // 0xB1 ｱ -> ア
    0x2524, // 0xB2 ｲ -> イ
    0x2526, // 0xB3 ｳ -> ウ
    0x2528, // 0xB4 ｴ -> エ
    0x252A, // 0xB5 ｵ -> オ
    0x252B, // 0xB6 ｶ -> カ
    0x252D, // 0xB7 ｷ -> キ
    0x252F, // 0xB8 ｸ -> ク
    0x2531, // 0xB9 ｹ -> ケ
    0x2533, // 0xBA ｺ -> コ
    0x2535, // 0xBB ｻ -> サ
    0x2537, // 0xBC ｼ -> シ
    0x2539, // 0xBD ｽ -> ス
    0x253B, // 0xBE ｾ -> セ
    0x253D, // 0xBF ｿ -> ソ
    0x253F, // 0xC0 ﾀ -> タ
    0x2541, // 0xC1 ﾁ -> チ
    0x2544, // 0xC2 ﾂ -> ツ
    0x2546, // 0xC3 ﾃ -> テ
    0x2548, // 0xC4 ﾄ -> ト
    0x254A, // 0xC5 ﾅ -> ナ
    0x254B, // 0xC6 ﾆ -> ニ
    0x254C, // 0xC7 ﾇ -> ヌ
    0x254D, // 0xC8 ﾈ -> ネ
    0x254E, // 0xC9 ﾉ -> ノ
    0x254F, // 0xCA ﾊ -> ハ
    0x2552, // 0xCB ﾋ -> ヒ
    0x2555, // 0xCC ﾌ -> フ
    0x2558, // 0xCD ﾍ -> ヘ
    0x255B, // 0xCE ﾎ -> ホ
    0x255E, // 0xCF ﾏ -> マ
    0x255F, // 0xD0 ﾐ -> ミ
    0x2560, // 0xD1 ﾑ -> ム
    0x2561, // 0xD2 ﾒ -> メ
    0x2562, // 0xD3 ﾓ -> モ
    0x2564, // 0xD4 ﾔ -> ヤ
    0x2566, // 0xD5 ﾕ -> ユ
    0x2568, // 0xD6 ﾖ -> ヨ
    0x2569, // 0xD7 ﾗ -> ラ
    0x256A, // 0xD8 ﾘ -> リ
    0x256B, // 0xD9 ﾙ -> ル
    0x256C, // 0xDA ﾚ -> レ
    0x256D, // 0xDB ﾛ -> ロ
    0x256F, // 0xDC ﾜ -> ワ
    0x2573, // 0xDD ﾝ -> ン
    0x212B, // 0xDE ﾞ -> ゛
    0x212C, // 0xDF ﾟ -> ゜
}};

// The extension row: Roman numerals one to ten, then five signs.
const std::array<ExtensionGlyph, kExtensionGlyphCount> kExtensionGlyphs = {{
    {11, 0x2D35}, // Ⅰ
    {12, 0x2D36}, // Ⅱ
    {13, 0x2D37}, // Ⅲ
    {14, 0x2D38}, // Ⅳ
    {15, 0x2D39}, // Ⅴ
    {16, 0x2D3A}, // Ⅵ
    {17, 0x2D3B}, // Ⅶ
    {18, 0x2D3C}, // Ⅷ
    {19, 0x2D3D}, // Ⅸ
    {20, 0x2D3E}, // Ⅹ
    {23, 0x2147}, // ’
    {24, 0x2D60}, // 〝
    {25, 0x2D6A}, // ㈱
    {26, 0x2D62}, // №
    {27, 0x2D64}, // ℡
}};

std::optional<std::uint16_t> symbolJis(std::uint8_t code) {
    for (const SymbolEntry& e : kSymbolTable) {
        if (e.code == code) return e.jis;
    }
    return std::nullopt;
}

std::optional<std::uint8_t> row1Alphanumeric(std::uint8_t cell) {
    for (const CellEntry& e : kRow1Alphanumerics) {
        if (e.cell == cell) return e.byte;
    }
    return std::nullopt;
}

std::optional<std::uint8_t> row1Kana(std::uint8_t cell) {
    for (const CellEntry& e : kRow1Kana) {
        if (e.cell == cell) return e.byte;
    }
    return std::nullopt;
}

std::optional<std::uint16_t> fullWidthKana(std::uint8_t byte) {
    if (byte < kFirstHalfWidthKana || byte > kLastHalfWidthKana) return std::nullopt;
    return kHalfWidthKana[byte - kFirstHalfWidthKana];
}

std::optional<std::uint8_t> halfWidthKatakana(std::uint8_t cell) {
    if (cell < 1 || cell > kCellsPerRow) return std::nullopt;
    const std::uint16_t jis =
        static_cast<std::uint16_t>(((kKatakanaRow + 0x20) << 8) | (cell + 0x20));
    for (std::size_t i = 0; i < kHalfWidthKana.size(); ++i) {
        if (kHalfWidthKana[i] == jis) return static_cast<std::uint8_t>(kFirstHalfWidthKana + i);
    }
    return std::nullopt;
}

std::optional<std::uint16_t> extensionGlyph(std::uint8_t cell) {
    for (const ExtensionGlyph& e : kExtensionGlyphs) {
        if (e.cell == cell) return e.label;
    }
    return std::nullopt;
}

} // namespace kesto::kanji
