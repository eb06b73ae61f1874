#pragma once
// SHA-256 of a byte stream, as lower-case hex: the journal's fingerprint of
// an OFI file and of the GLF file made from it.

#include "io/Status.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace kesto {

class Sha256 {
public:
    // Best: the processor's SHA instructions where it has them.
    enum class Engine { Best, Portable };
    explicit Sha256(Engine engine = Engine::Best);
    // Whether Best uses the processor's instructions on this machine.
    static bool processorRoundsUsed();

    void add(const void* data, std::size_t size);
    void add(std::string_view bytes) { add(bytes.data(), bytes.size()); }
    // The digest as 64 hex digits; the object is spent afterwards.
    std::string hexDigest();

private:
    std::array<std::uint32_t, 8> h_;
    void (*blocks_)(std::uint32_t* state, const std::uint8_t* data, std::size_t blocks);
    std::array<std::uint8_t, 64> buffer_{};
    std::size_t buffered_ = 0;
    std::uint64_t length_ = 0;
};

std::string sha256Hex(std::string_view bytes);

// The digest of the file at `path` (read in slices, no link followed) and its size.
Status sha256OfFile(const std::filesystem::path& path, std::string& hex, std::uint64_t& size);

} // namespace kesto
