#include "job/Snapshot.h"

#include "settings/NumberText.h"
#include "settings/Vocabulary.h"

#include <cstdlib>
#include <string_view>

namespace kesto {
namespace {

using namespace words;

CharSetChoice charSetOf(const std::string& text) {
    if (text == kFullWidth) return CharSetChoice::FullWidth;
    if (text == kHalfWidth) return CharSetChoice::HalfWidth;
    return CharSetChoice::Other;
}

// The number a factor's field text stands for.
double fieldNumber(float value) {
    return std::strtod(fieldDecimal(value).c_str(), nullptr);
}

// The fields that decide what happens to the files must hold one of their
// words: a typo or a re-encoded file must not read as "delete" or "file".
Status choicesKnown(const JobSettings& settings) {
    struct Choice {
        std::string_view key;
        const std::string& value;
        bool known;
        std::string_view first, second;
    };
    const Choice choices[] = {
        {"OfiFMen", settings.OfiFMen, fileSelectionOf(settings.OfiFMen).has_value(), kManual,
         kAutomatic},
        {"OfiFEnd", settings.OfiFEnd, finishedFilesOf(settings.OfiFEnd).has_value(), kKeep,
         kDelete},
        {"OfiOut", settings.OfiOut, outputOf(settings.OfiOut).has_value(), kToPlotter, kToFile},
    };
    for (const Choice& c : choices) {
        if (c.known) continue;
        return Status::failure(std::string(settingLabel(c.key)) + "が「" + c.value + "」です（「" +
                               std::string(c.first) + "」か「" + std::string(c.second) + "」）");
    }
    return {};
}

} // namespace

Status settingsFromFields(const FieldTexts& fields, JobSettings& settings, FieldRule rule,
                          std::vector<std::string>* kept) {
    for (std::string_view key : settingKeys()) {
        const auto it = fields.find(key);
        if (it == fields.end() || it->second == settingText(settings, key)) continue;
        // A run has no use for the windows' positions.
        if (rule == FieldRule::Run && settingKind(key) == SettingKind::Position) continue;
        std::string* text = textSetting(settings, key);
        if (rule == FieldRule::Run && text) {
            // A run works with what the window shows.
            *text = it->second;
            continue;
        }
        const Status set = setSettingByKey(settings, key, it->second);
        if (set) continue;
        if (rule == FieldRule::Run)
            return Status::failure(std::string(settingLabel(key)) + "が数値ではありません");
        if (kept) kept->push_back(std::string(key) + ": " + set.reason());
    }
    return rule == FieldRule::Run ? choicesKnown(settings) : Status();
}

FitTarget fitTargetFor(const std::string& ofiS, const std::string& plot) {
    const bool a1 = plot == kPlotterA1;
    if (ofiS == "A4") return a1 ? FitTarget{287, 187} : FitTarget{274, 200};
    if (ofiS == "A3") return a1 ? FitTarget{393, 287} : FitTarget{410, 274};
    if (ofiS == "A2") return a1 ? FitTarget{584, 393} : FitTarget{567, 410};
    if (ofiS == "A1") return a1 ? FitTarget{814, 584} : FitTarget{831, 567};
    return {};
}

ConversionSettings conversionSettingsFrom(const JobSettings& s) {
    ConversionSettings c;
    c.penThick = "SP" + s.LineL + ";";
    c.penMedium = "SP" + s.LineM + ";";
    c.penThin = "SP" + s.LineS + ";";
    c.penText = "SP" + s.LineT + ";";
    c.penPattern = "SP" + s.LineP + ";";
    c.penBreak = "SP" + s.LineD + ";";
    const FitTarget fit = fitTargetFor(s.OfiS, s.Plot);
    c.fitLong = fit.longSide;
    c.fitShort = fit.shortSide;
    c.reduction = fit.longSide != 0 ? 1 : leadingNumber(s.OfiS) / 100;
    c.rotateA4V = s.OfiA4V == "0";
    c.rotateA4H = s.OfiA4H == "0";
    c.rotateA3 = s.OfiA3 == "0";
    c.rotateA2V = s.OfiA2V == "0";
    c.rotateA2H = s.OfiA2H == "0";
    c.rotateA1 = s.OfiA1 == "0";
    c.rotateA0 = s.OfiA0 == "0";
    c.plotterA0 = s.Plot == kPlotterA0;
    c.plotterA1 = s.Plot == kPlotterA1;
    c.kana = charSetOf(s.MojiK);
    c.alnum = charSetOf(s.MojiE);
    // The run reads the factors from their fields' text: 1 + the number, held
    // in single precision.
    c.kanjiWidthFactor = static_cast<float>(fieldNumber(s.MojiW) + 1);
    c.kanjiHeightFactor = static_cast<float>(fieldNumber(s.MojiH) + 1);
    c.kanjiShiftX = static_cast<float>(fieldNumber(s.MojiX));
    c.kanjiShiftY = static_cast<float>(fieldNumber(s.MojiY));
    return c;
}

} // namespace kesto
