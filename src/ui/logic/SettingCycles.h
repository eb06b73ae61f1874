#pragma once
// What a click on one of the main window's labels does to the field next to
// it.  Each function takes the field's current text and gives the next one;
// the window only reads and writes its fields around these calls.

#include "settings/Vocabulary.h"

#include <array>
#include <string>
#include <string_view>

namespace kesto {

// Sheet rotation (A4縦 ... A0横): "90" becomes "0", anything else "90".
std::string nextRotation(std::string_view text);

// Pen number: "15" becomes "0"; any other text steps its leading number up by
// one ("0" to "14" count up, a non-number gives "1", "-3" gives "2", and a pen
// read as 20 goes on to 21, 22, ...).
std::string nextPen(std::string_view text);

// The pens that the pen reset sets back: 太線, 中線, 細線, 注記, ﾊﾟﾀｰﾝ (破断 is
// left alone).
constexpr std::array<std::string_view, 5> kPenReset = {"3", "2", "1", "1", "1"};

// Reduction or paper: "A4" → "A3" → "A2" → "A1" → "100"; anything else
// (a typed percentage too) becomes "A4".
std::string nextReduction(std::string_view text);

// Character set: "半角" becomes "全角", anything else "半角".
std::string nextCharacterSet(std::string_view text);
// File selection: "手動" becomes "自動", anything else "手動".
std::string nextFileSelection(std::string_view text);
// Finished drawings: "保存" becomes "消去", anything else "保存".
std::string nextFinishedHandling(std::string_view text);
// Output: "ﾌﾟﾛｯﾀ" becomes "ﾌｧｲﾙ", anything else "ﾌﾟﾛｯﾀ".
std::string nextOutput(std::string_view text);

// The plotter size and the seven sheet rotations, in the order A4縦, A4横,
// A3横, A2縦, A2横, A1横, A0横.
struct PlotterFields {
    std::string plot;
    std::array<std::string, 7> rotations;
    bool operator==(const PlotterFields&) const = default;
};

// The plotter preset: switches between the two plotter sizes and sets every
// rotation to what that plotter's paper feed wants.  A plot text that is
// neither size leaves everything as it was.
PlotterFields nextPlotter(const PlotterFields& fields);

} // namespace kesto
