#pragma once
// A run's settings snapshot: the window's field texts read into a settings
// record, and the items of it that conversion uses.

#include "convert/ConversionState.h"
#include "io/Status.h"
#include "job/JobHost.h"
#include "settings/JobSettings.h"

#include <string>
#include <vector>

namespace kesto {

// Fit target in millimetres for an OfiS of "A4", "A3", "A2" or "A1", with the
// plotter's margins; {0, 0} otherwise.
struct FitTarget {
    double longSide = 0;
    double shortSide = 0;
};
FitTarget fitTargetFor(const std::string& ofiS, const std::string& plot);

// How the field texts are taken.
enum class FieldRule {
    // For a run: text fields as typed; a factor that is not a number as a
    // whole, or a choice field that holds none of its words, fails the
    // snapshot with the status line that names it
    // ("漢字幅変更倍率が数値ではありません").
    Run,
    // For the settings file: a value the file cannot hold (or a factor that
    // is not a number) leaves the record's value, and a line per such field
    // goes to *kept.
    File,
};

// The one reading of the window's field texts into `settings`.  A missing
// key, or a field that shows what `settings` already holds, leaves the
// record as it is (with the bytes it was read with).
Status settingsFromFields(const FieldTexts& fields, JobSettings& settings, FieldRule rule,
                          std::vector<std::string>* kept = nullptr);

ConversionSettings conversionSettingsFrom(const JobSettings& settings);

} // namespace kesto
