#pragma once
// A GLF drawing that takes minutes to draw: one filled polygon whose
// corners lie at random over an A3 sheet, so that its sides cross each
// other everywhere (every scan line meets a good part of them).

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace kesto::test {

inline bool writeTangledPolygon(const std::filesystem::path& file, std::size_t corners) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> x(0, 11880), y(0, 16800);
    std::string glf = "IN;IP-5940,-8400,5940,8400;SC0,11880,0,16800;SP1;PUPA0,0;PM0;PDPA";
    glf.reserve(corners * 12 + 64);
    for (std::size_t i = 0; i < corners; ++i) {
        if (i > 0) glf += ',';
        glf += std::to_string(x(random)) + ',' + std::to_string(y(random));
    }
    glf += ";PM2;FP;PU;SP0;AF;\r\n";
    std::ofstream out(file, std::ios::binary);
    out << glf;
    return static_cast<bool>(out.flush());
}

} // namespace kesto::test
