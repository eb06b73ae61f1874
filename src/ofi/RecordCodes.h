#pragma once
// The code words of an OFI word stream: every record kind the converter
// knows, in one place.  A record is an escape prefix followed by its code
// word; the operands follow the code word.

#include <cstdint>

namespace kesto::ofi {

// Escape prefixes.
constexpr std::uint16_t kEscControl = 0x401B; // ESC @
constexpr std::uint16_t kEscHeader = 0x211B;  // ESC !
constexpr std::uint16_t kEscDrawing = 0x241B; // ESC $
constexpr std::uint16_t kEndCode = 0x0045;    // "E" after ESC @: the end of the drawing

// Header records (after ESC !).
constexpr std::uint16_t kScale = 0x0157;
constexpr std::uint16_t kHeader0132 = 0x0132;
constexpr std::uint16_t kPage = 0x0452;
constexpr std::uint16_t kPatternLength = 0x014A;

// Drawing records (after ESC $), whole code words.
constexpr std::uint16_t kLineStyle = 0x0154;
constexpr std::uint16_t kWideDashedPolyline = 0xFF42;
constexpr std::uint16_t kThreePointArc = 0x0641;
constexpr std::uint16_t kLineSegment = 0x0444;
constexpr std::uint16_t kPolyline = 0xFF44;
constexpr std::uint16_t kTextBlock = 0x0153;
constexpr std::uint16_t kSlant = 0x0149;
constexpr std::uint16_t kDirection = 0x014A;
constexpr std::uint16_t kCharSize = 0x0348;
constexpr std::uint16_t kCharSizeLong = 0x0648;
constexpr std::uint16_t kPatternBlock = 0x0152;
constexpr std::uint16_t kPatternFill = 0xFF50;
constexpr std::uint16_t kAnnotationLine = 0x044E;

// Drawing records known by their low byte; the high byte is an operand count.
constexpr std::uint8_t kWideDashedArcLow = 0x45;
constexpr std::uint8_t kSingleByteTextLow = 0x4B;
constexpr std::uint8_t kTwoByteTextLow = 0x4C;

// Block markers of the text and pattern block records.
constexpr std::uint16_t kBlockStart = 0x5453; // "ST"
constexpr std::uint16_t kBlockEnd = 0x4445;   // "ED"

// Element codes inside a pattern fill.
constexpr std::uint16_t kContourStart = 193;
constexpr std::uint16_t kArcElement = 134;

} // namespace kesto::ofi
