#pragma once
// The settings record of kesto and its file, Kesto.sys in the program folder.
//
// Text values are held in UTF-8 in memory; the file is Shift-JIS (code page
// 932).  Field names are the keys of the file.

#include "io/Status.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kesto {

// The settings file, in the program folder.
inline constexpr const char* kSettingsFileName = "Kesto.sys";

struct JobSettings {
    std::string OfiFile;       // OFI folder; default: the program folder
    std::string OfiA4V = "90"; // rotation per sheet: "90" or "0"
    std::string OfiA4H = "0";
    std::string OfiA3 = "0";
    std::string OfiA2V = "90";
    std::string OfiA2H = "0";
    std::string OfiA1 = "0";
    std::string OfiA0 = "0";
    std::string Plot = "A0ﾌﾟﾛｯﾀ"; // "A0ﾌﾟﾛｯﾀ" or "A1ﾌﾟﾛｯﾀ"
    std::string LineL = "3";      // pen numbers as typed
    std::string LineM = "2";
    std::string LineS = "1";
    std::string LineT = "1";
    std::string LineP = "1";
    std::string LineD = "2";
    std::string OfiS = "100";   // percentage, or "A4", "A3", "A2", "A1"
    std::string MojiK = "全角"; // "半角" or "全角"
    std::string MojiE = "半角";
    float MojiW = 0.17f; // kanji width, height, X and Y factors
    float MojiH = 0.11f;
    float MojiX = -0.2f;
    float MojiY = -0.2f;
    std::string OfiFMen = "手動"; // "手動" or "自動"
    std::string OfiFEnd = "保存"; // "保存" or "消去"
    std::string OfiOut = "ﾌﾟﾛｯﾀ"; // "ﾌﾟﾛｯﾀ" or "ﾌｧｲﾙ"
    std::string Hprn;             // printer name; empty = the default printer
    std::int16_t OfiTop = 1250;   // window positions in twips
    std::int16_t OfiLeft = 1150;
    std::int16_t FilTop = 1250;
    std::int16_t FilLeft = 1150;
    std::int16_t PrnTop = 1250;
    std::int16_t PrnLeft = 1150;

    // Original Shift-JIS bytes of text values read from the file, by key, so
    // that a value left unchanged is written back byte for byte.
    std::map<std::string, std::pair<std::string, std::string>, std::less<>> originalBytes;
};

// The keys of the file, in the order of its lines.
const std::vector<std::string_view>& settingKeys();

// What a key holds.
enum class SettingKind { Text, Factor, Position, Unknown };
SettingKind settingKind(std::string_view key);
// The text field of a Text key, nullptr for any other key.
std::string* textSetting(JobSettings& settings, std::string_view key);
// The name the file and the window give a key's field ("漢字幅変更倍率"),
// empty for an unknown key.
std::string_view settingLabel(std::string_view key);

// The defaults, with OfiFile = the program folder.
JobSettings defaultSettings(const std::filesystem::path& programFolder);

// The defaults overwritten by programFolder/Kesto.sys.  Never fails.
JobSettings LoadSettings(const std::filesystem::path& programFolder);
JobSettings LoadSettingsFile(const std::filesystem::path& file,
                             const std::filesystem::path& programFolder);

// Whether a text value comes back from the file exactly as written.  A value
// ends at the first two spaces in a row, so it may hold neither two spaces in
// a row nor a space at its end; it may hold no line break; and every
// character must have a Shift-JIS form that reads back as that same
// character (not "é", nor "〜" or "¥", which come back as "～" and "\").
// When not, the failure says what stands in the way.
Status textReadsBack(std::string_view value);

// Writes programFolder/Kesto.sys atomically.  Fails (with the reason) when
// it could not; the old file is then left as it was.  A value that cannot be
// written so that it reads back does not stop the save: its line keeps the
// bytes it was read with (the default's when it was not read; for OfiFile,
// whose default is the program folder, the line is left out), and *kept gets
// one line naming the field and the reason.
Status SaveSettings(const std::filesystem::path& programFolder, const JobSettings& settings,
                    std::vector<std::string>* kept = nullptr);
// The file's bytes as SaveSettings writes them, with the same *kept lines.
std::string settingsFileBytes(const JobSettings& settings,
                              std::vector<std::string>* kept = nullptr);

// Sets a field from the text a window field would hold (UTF-8).  Factor
// fields must be numbers as a whole, positions whole numbers in 16 bits, text
// values must read back from the file (textReadsBack).
// Fails with a message for an unknown key or an unusable value.
Status setSettingByKey(JobSettings& settings, std::string_view key, std::string_view value);
// The text a window field shows for the key (factors as "0.17"), or nullopt.
std::optional<std::string> settingText(const JobSettings& settings, std::string_view key);

} // namespace kesto
