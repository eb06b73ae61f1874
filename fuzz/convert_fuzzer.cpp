// Fuzz target over the whole conversion of one drawing.  Built with clang's
// libFuzzer when KESTO_FUZZ is on; otherwise linked with replay_main.cpp as
// a plain program that replays files (a regression test under GCC).

#include "convert/Conversion.h"

#include <cstddef>
#include <cstdint>

namespace {

// Counts the bytes instead of keeping them: memory stays flat.
class CountingSink final : public kesto::GlfSink {
public:
    bool put(const char*, std::size_t size) override {
        bytes += size;
        return true;
    }
    std::size_t bytes = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The first byte picks settings that steer the converter down other paths.
    kesto::ConversionSettings settings;
    if (size > 0) {
        const std::uint8_t knobs = data[0];
        settings.rotateA4H = knobs & 1;
        settings.rotateA3 = knobs & 2;
        settings.plotterA0 = !(knobs & 4);
        settings.plotterA1 = knobs & 4;
        if (knobs & 8) {
            settings.fitLong = 410;
            settings.fitShort = 274;
        }
        settings.kana =
            (knobs & 16) ? kesto::CharSetChoice::HalfWidth : kesto::CharSetChoice::FullWidth;
        settings.alnum =
            (knobs & 32) ? kesto::CharSetChoice::FullWidth : kesto::CharSetChoice::HalfWidth;
        if (knobs & 64) settings.penText = "SP4;";
    }
    CountingSink sink;
    kesto::ConversionState run;
    {
        kesto::GlfWriter out(sink);
        // Two drawings in one run: the second sees what the first left behind.
        kesto::convertDrawing(kesto::OfiReader(data, size), out, run, settings);
        kesto::convertDrawing(kesto::OfiReader(data, size / 2), out, run, settings);
    }
    return 0;
}
