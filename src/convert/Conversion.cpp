#include "convert/Conversion.h"

#include "convert/Converter.h"
#include "ofi/RecordCodes.h"

#include <new>

namespace kesto {
namespace {

using namespace ofi;

void dispatchHeader(Converter& c, std::uint16_t code) {
    switch (code) {
    case kScale: convertScale(c); break;
    case kHeader0132: convertHeader0132(c); break;
    case kPage: convertPage(c); break;
    case kPatternLength: convertPatternLength(c); break;
    default: break; // other header codes are skipped
    }
}

// The tests run in this order; the first that holds picks the converter.
void dispatchDrawing(Converter& c, std::uint16_t w) {
    const std::uint8_t low = w & 0xFF;
    const std::uint8_t high = w >> 8;
    if (w == kLineStyle) return convertLineStyle(c);
    if (w == kWideDashedPolyline) return convertWideDashedPolyline(c);
    if (low == kWideDashedArcLow) return convertWideDashedArc(c);
    if (w == kThreePointArc) return convertThreePointArc(c);
    if (w == kLineSegment) return convertLineSegment(c);
    if (w == kPolyline) return convertPolyline(c);
    if (w == kTextBlock) return convertTextBlock(c);
    if (w == kSlant) return convertSlant(c);
    if (w == kDirection) return convertDirection(c);
    if (w == kCharSize) return convertCharSize(c);
    if (w == kCharSizeLong) return convertCharSizeLong(c);
    if (low == kSingleByteTextLow) return convertSingleByteText(c, high);
    if (low == kTwoByteTextLow) return convertTwoByteText(c, high);
    if (w == kPatternBlock) return convertPatternBlock(c);
    if (w == kPatternFill) return convertPatternFill(c);
    if (w == kAnnotationLine) return convertAnnotationLine(c);
    // no match: the code word is skipped with its prefix
}

// Returns false at the end of the drawing (end record or end of file).
void recordLoop(Converter& c, const OfiReader& reader, const ConversionControl* control,
                DrawingResult& result) {
    OfiCursor& in = c.in;
    std::size_t i = 1;
    unsigned sincePump = 0;
    for (;;) {
        if (control) {
            if (control->letEventsRun && ++sincePump == kRecordsPerEventPump) {
                sincePump = 0;
                control->letEventsRun();
            }
            if (control->cancel && control->cancel->load(std::memory_order_relaxed)) {
                result.outcome = DrawingOutcome::Cancelled;
                return;
            }
        }
        // The physical end of the file closes the drawing like the end record.
        std::uint16_t w;
        if (!reader.tryWord(i, w)) return;
        if (w == kEscControl) {
            if (!reader.tryWord(++i, w) || w == kEndCode) return;
        }
        if (w == kEscHeader) {
            if (!reader.tryWord(++i, w)) return;
            in.setIndex(i);
            dispatchHeader(c, w);
            i = in.index();
        } else if (w == kEscDrawing) {
            if (!reader.tryWord(++i, w)) return;
            in.setIndex(i);
            dispatchDrawing(c, w);
            i = in.index();
        }
        ++i;
    }
}

} // namespace

DrawingResult convertDrawing(const OfiReader& reader, GlfWriter& out, ConversionState& state,
                             const ConversionSettings& settings, const ConversionControl* control) {
    DrawingResult result;
    out.put("IN;");
    state.startDrawing(settings);
    out.resetSlots();
    OfiCursor cursor(reader);
    Converter c{cursor, out, state, settings};
    try {
        recordLoop(c, reader, control, result);
    } catch (const OfiReadPastEnd& e) {
        result.outcome = DrawingOutcome::Damaged;
        result.reason = e.what();
    } catch (const DrawingDamaged& e) {
        result.outcome = DrawingOutcome::Damaged;
        result.reason = e.what();
    } catch (const std::bad_alloc&) {
        result.outcome = DrawingOutcome::Damaged;
        result.reason = "out of memory";
    }
    if (result.outcome != DrawingOutcome::Damaged) out.writeLine("PU;SP0;AF;");
    out.flush();
    return result;
}

} // namespace kesto
