#pragma once
// GLF files for the delivery tests, in a temporary folder removed afterwards.

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include <unistd.h>

namespace kesto::test {

class TempFolder {
public:
    TempFolder() { std::filesystem::create_directories(path_); }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::filesystem::path write(const std::string& name, const std::string& bytes) const {
        std::ofstream(path_ / name, std::ios::binary)
            .write(bytes.data(), std::streamsize(bytes.size()));
        return path_ / name;
    }
    const std::filesystem::path& path() const { return path_; }

private:
    static inline int counter_ = 0;
    std::filesystem::path path_ =
        std::filesystem::temp_directory_path() /
        ("kesto-delivery-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
};

// What the converter writes for a small drawing: one line of HP-GL, all ASCII.
inline const std::string kSmallDrawing =
    "IN;IP0,0,16000,11000;SC;SP1;PU0,0;PD16000,0,16000,11000,0,11000,0,0;"
    "LB\x1b(ABC\x03;PU;SP0;AF;\r\n";

// Every byte value, many times over, in an order that shows swapped or lost blocks.
inline std::string binaryBytes(std::size_t size, unsigned seed = 1) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (auto& byte : bytes)
        byte = static_cast<char>(random() & 0xff);
    return bytes;
}

} // namespace kesto::test
