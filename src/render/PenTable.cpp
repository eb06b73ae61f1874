#include "render/PenTable.h"

namespace kesto::render {

PenLook penLook(int pen) {
    static constexpr PenLook kPens[8] = {
        {0x000000, 0.18}, // 1: thin lines, text and patterns by default
        {0x1F4FD1, 0.35}, // 2: medium lines and break lines
        {0xD01C1C, 0.50}, // 3: thick lines
        {0x1A8F2A, 0.25}, {0xB0279F, 0.35}, {0xD07000, 0.50}, {0x0097A7, 0.25}, {0x606060, 0.13},
    };
    if (pen < 1) pen = 1;
    return kPens[(pen - 1) % 8];
}

} // namespace kesto::render
