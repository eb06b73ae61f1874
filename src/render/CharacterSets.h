#pragma once
// The plotter's character sets as Unicode: the standard sets selected with
// CS (JIS ASCII, JIS katakana, ASCII) and the two-byte kanji set selected
// with CA, whose characters are JIS X 0208 row/cell pairs (with the
// extension row the kanji set shares with code page 932).

#include "render/PlotSurface.h"

namespace kesto::render {

// Kanji set: the two label bytes (each 0x21 to 0x7E).  0 when the pair has
// no character.
char32_t kanjiSetCharacter(unsigned char rowByte, unsigned char cellByte);

// Standard set `set` (the CS/CA number): one label byte.  0 when the byte
// draws nothing.
char32_t standardSetCharacter(int set, unsigned char byte);

// True for the CA/CS numbers of the two-byte kanji set.
inline bool isKanjiSet(int set) {
    return set >= 100;
}

} // namespace kesto::render
