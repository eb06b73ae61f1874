#include "ui/logic/SettingCycles.h"

#include "settings/NumberText.h"

#include <cmath>

namespace kesto {

std::string nextRotation(std::string_view text) {
    return std::string(text == words::kUpright ? words::kTurned : words::kUpright);
}

std::string nextPen(std::string_view text) {
    if (text == "15") return "0";
    const double next = leadingNumber(text) + 1;
    // A pen number too long for any number has no successor; keep it.
    if (!std::isfinite(next)) return std::string(text);
    // Written with a sign place in front whose character is then dropped: a
    // negative result loses its minus sign ("-3" + 1 = -2 gives "2").
    return shortDecimal(static_cast<float>(std::fabs(next)));
}

std::string nextReduction(std::string_view text) {
    if (text == "A4") return "A3";
    if (text == "A3") return "A2";
    if (text == "A2") return "A1";
    if (text == "A1") return "100";
    return "A4";
}

std::string nextCharacterSet(std::string_view text) {
    return std::string(text == words::kHalfWidth ? words::kFullWidth : words::kHalfWidth);
}

std::string nextFileSelection(std::string_view text) {
    return std::string(text == words::kManual ? words::kAutomatic : words::kManual);
}

std::string nextFinishedHandling(std::string_view text) {
    return std::string(text == words::kKeep ? words::kDelete : words::kKeep);
}

std::string nextOutput(std::string_view text) {
    return std::string(text == words::kToPlotter ? words::kToFile : words::kToPlotter);
}

PlotterFields nextPlotter(const PlotterFields& fields) {
    if (fields.plot == words::kPlotterA1)
        return {std::string(words::kPlotterA0), {"0", "90", "0", "0", "90", "0", "90"}};
    if (fields.plot == words::kPlotterA0)
        return {std::string(words::kPlotterA1), {"90", "0", "90", "90", "0", "90", "90"}};
    return fields;
}

} // namespace kesto
