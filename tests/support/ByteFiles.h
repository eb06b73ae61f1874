#pragma once
// A file's bytes read whole or written whole, for tests.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace kesto::test {

inline std::string readBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeBytes(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

} // namespace kesto::test
