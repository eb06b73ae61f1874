#pragma once
// Builds OFI word streams for the text records and converts them.

#include "convert/Conversion.h"
#include "convert/ConversionState.h"
#include "convert/Converter.h"
#include "glf/GlfWriter.h"
#include "ofi/OfiReader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace kesto::texttest {

using Words = std::vector<std::uint16_t>;

inline Words operator+(Words a, const Words& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline std::uint16_t lowWord(std::int32_t v) {
    return static_cast<std::uint16_t>(v);
}
inline std::uint16_t highWord(std::int32_t v) {
    return static_cast<std::uint16_t>(static_cast<std::uint32_t>(v) >> 16);
}

inline Words record(std::uint16_t code, Words operands = {}) {
    return Words{0x241B, code} + operands; // ESC $
}
inline Words direction(std::int16_t hundredths) {
    return record(0x014A, {static_cast<std::uint16_t>(hundredths)});
}
inline Words slant(Words words) {
    return record(0x0149, std::move(words));
}
inline Words charSize(std::int16_t width, std::int16_t height, std::uint16_t pitch) {
    return record(0x0348,
                  {static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height), pitch});
}
inline Words charSizeLong(std::int32_t width, std::int32_t height, std::int32_t pitch) {
    return record(0x0648, {lowWord(width), highWord(width), lowWord(height), highWord(height),
                           lowWord(pitch), highWord(pitch)});
}
inline Words textBlock(bool start) {
    return record(0x0153, {start ? std::uint16_t{0x5453} : std::uint16_t{0x4445}});
}

// Single-byte string: two bytes a word, first byte low; odd lengths pad with a space.
inline Words singleByteText(std::uint16_t x, std::uint16_t y, std::string bytes) {
    if (bytes.size() % 2) bytes += ' ';
    Words ops{x, y};
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        ops.push_back(static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes[i]) |
                                                 (static_cast<std::uint8_t>(bytes[i + 1]) << 8)));
    }
    return record(static_cast<std::uint16_t>(0x4B | (ops.size() << 8)), ops);
}

// Two-byte string of (row, cell) pairs.
inline Words twoByteText(std::uint16_t x, std::uint16_t y,
                         std::initializer_list<std::pair<int, int>> chars) {
    Words ops{x, y};
    for (auto [row, cell] : chars)
        ops.push_back(static_cast<std::uint16_t>(row | (cell << 8)));
    return record(static_cast<std::uint16_t>(0x4C | (ops.size() << 8)), ops);
}

// "LB", the label bytes, ETX, ";".
inline std::string label(const std::string& bytes) {
    return "LB" + bytes + "\x03;";
}

inline std::vector<std::uint8_t> toBytes(const Words& words) {
    std::vector<std::uint8_t> bytes;
    for (std::uint16_t w : words) {
        bytes.push_back(static_cast<std::uint8_t>(w & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(w >> 8));
    }
    return bytes;
}

inline const Words kSized = direction(0) + charSize(200, 300, 300);

// One drawing's worth of records; the state carries over between calls like a run.
class TextConversion : public ::testing::Test {
protected:
    void SetUp() override { newRun(); }
    void newRun() {
        state = ConversionState{};
        state.page.drawingScale = 10;
    }

    // The GLF text between "IN;" and the closing "PU;SP0;AF;" CR LF, or all
    // of it for a damaged drawing.
    std::string convert(const Words& words) {
        const auto bytes = toBytes(words);
        StringSink sink;
        {
            GlfWriter out(sink);
            result = convertDrawing(OfiReader(bytes.data(), bytes.size()), out, state, settings);
        }
        const std::string& text = sink.text;
        if (result.outcome == DrawingOutcome::Damaged) return text;
        EXPECT_TRUE(text.starts_with("IN;") && text.ends_with("PU;SP0;AF;\r\n")) << text;
        return text.substr(3, text.size() - 3 - 12);
    }

    // Direction 0, width 200, height 300 and pitch 300, then a string at (1000, 2000).
    std::string sizedString(const std::string& bytes) {
        return convert(kSized + singleByteText(1000, 2000, bytes));
    }
    std::string sizedKanji(std::initializer_list<std::pair<int, int>> chars) {
        return convert(kSized + twoByteText(1000, 2000, chars));
    }

    // Calls one converter on a record whose code word is words[0], with the
    // state as the test left it (no per-drawing reset).
    template <typename Fn> std::string direct(const Words& words, Fn fn) {
        const auto bytes = toBytes(words);
        OfiReader reader(bytes.data(), bytes.size());
        OfiCursor cursor(reader, 1);
        StringSink sink;
        {
            GlfWriter out(sink);
            Converter c{cursor, out, state, settings};
            fn(c);
            consumed = cursor.index();
        }
        return sink.text;
    }

    ConversionSettings settings;
    ConversionState state;
    DrawingResult result;
    std::size_t consumed = 0;
};

} // namespace kesto::texttest
