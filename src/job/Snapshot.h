#pragma once
// The items of a run's settings snapshot that conversion uses, taken from
// the settings record.

#include "convert/ConversionState.h"
#include "settings/JobSettings.h"

namespace kesto {

// Fit target in millimetres for an OfiS of "A4", "A3", "A2" or "A1", with the
// plotter's margins; {0, 0} otherwise.
struct FitTarget {
    double longSide = 0;
    double shortSide = 0;
};
FitTarget fitTargetFor(const std::string& ofiS, const std::string& plot);

ConversionSettings conversionSettingsFrom(const JobSettings& settings);

} // namespace kesto
