#include "settings/JobSettings.h"

#include "io/Cp932.h"
#include "settings/LegacyFolder.h"
#include "settings/NumberText.h"

#include <array>
#include <charconv>
#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>
#include <system_error>
#include <variant>

#include "io/NativeText.h"
#include "io/ReplaceFile.h"

namespace kesto {

namespace {

// A settings file is a few hundred bytes; anything past this is not read.
constexpr std::size_t kMaxSettingsFileBytes = 1 << 20;
// Spaces that always separate a value from its comment, so that it reads back.
constexpr int kMinSeparatorSpaces = 2;

constexpr std::string_view kCrLf = "\r\n";

// The banner at the top of the file, in UTF-8; every line is 77 bytes in Shift-JIS.
constexpr std::array<std::string_view, 5> kBanner = {
    "*****************************************************************************",
    "*                                                                           *",
    "*  ＺＵＮＡ－ＨＰＧＬ出図（Kesto.EXE)プログラム                             *",
    "*                                                                           *",
    "*****************************************************************************",
};

using TextField = std::string JobSettings::*;
using FactorField = float JobSettings::*;
using PositionField = std::int16_t JobSettings::*;

struct KeyInfo {
    std::string_view key;
    std::variant<TextField, FactorField, PositionField> field;
    // Width of value plus spaces; with fixedRun the spaces are fixed instead.
    int width;
    bool fixedRun;
    std::string_view comment; // UTF-8, as the file carries it after the spaces
};

// The keys in the order of the file.
const std::array<KeyInfo, 32> kKeys = {{
    {"OfiFile", &JobSettings::OfiFile, 8, true, "* ＯＦＩ ファイルの場所"},
    {"OfiA4V", &JobSettings::OfiA4V, 19, false, "* Ａ４ 縦の回転量"},
    {"OfiA4H", &JobSettings::OfiA4H, 19, false, "* Ａ４ 横の回転量"},
    {"OfiA3", &JobSettings::OfiA3, 20, false, "* Ａ３ 横の回転量"},
    {"OfiA2V", &JobSettings::OfiA2V, 19, false, "* Ａ２ 縦の回転量"},
    {"OfiA2H", &JobSettings::OfiA2H, 19, false, "* Ａ２ 横の回転量"},
    {"OfiA1", &JobSettings::OfiA1, 20, false, "* Ａ１ 横の回転量"},
    {"OfiA0", &JobSettings::OfiA0, 20, false, "* Ａ０"},
    {"Plot", &JobSettings::Plot, 21, false, "* プロッターサイズ"},
    {"LineL", &JobSettings::LineL, 20, false, "* 太線のペンＮｏ"},
    {"LineM", &JobSettings::LineM, 20, false, "* 中線のペンＮｏ"},
    {"LineS", &JobSettings::LineS, 20, false, "* 細線のペンＮｏ"},
    {"LineT", &JobSettings::LineT, 20, false, "* 注記のペンＮｏ"},
    {"LineP", &JobSettings::LineP, 20, false, "* パタ-ンのペンＮｏ"},
    {"LineD", &JobSettings::LineD, 20, false, "* 破断線のペンＮｏ"},
    {"OfiS", &JobSettings::OfiS, 21, false, "* 縮小率"},
    {"MojiK", &JobSettings::MojiK, 18, false, "* カタカナ文字セット"},
    {"MojiE", &JobSettings::MojiE, 18, false, "* 英数記号文字セット"},
    {"MojiW", &JobSettings::MojiW, 20, false, "* 漢字幅変更倍率"},
    {"MojiH", &JobSettings::MojiH, 20, false, "* 漢字高さ変更倍率"},
    {"MojiX", &JobSettings::MojiX, 20, false, "* 漢字Ｘ座標変更倍率"},
    {"MojiY", &JobSettings::MojiY, 20, false, "* 漢字Ｙ座標変更倍率"},
    {"OfiFMen", &JobSettings::OfiFMen, 16, false, "* ﾌｧｲﾙ選択方法"},
    {"OfiFEnd", &JobSettings::OfiFEnd, 16, false, "* 終了ﾌｧｲﾙの処理"},
    {"OfiOut", &JobSettings::OfiOut, 19, false, "* GLFﾌｧｲﾙの出力先"},
    {"Hprn", &JobSettings::Hprn, 2, true, "* 出力先プリンタ名"},
    {"OfiTop", &JobSettings::OfiTop, 19, false, "* 画面1の上下位置"},
    {"OfiLeft", &JobSettings::OfiLeft, 18, false, "* 画面1の左右位置"},
    {"FilTop", &JobSettings::FilTop, 19, false, "* 画面2の上下位置"},
    {"FilLeft", &JobSettings::FilLeft, 18, false, "* 画面2の左右位置"},
    {"PrnTop", &JobSettings::PrnTop, 19, false, "* 画面4の上下位置"},
    {"PrnLeft", &JobSettings::PrnLeft, 18, false, "* 画面4の左右位置"},
}};

const KeyInfo* findKey(std::string_view key) {
    for (const auto& info : kKeys)
        if (info.key == key) return &info;
    return nullptr;
}

// The field's label as the window and messages name it: the comment without "* ".
std::string_view label(const KeyInfo& info) {
    std::string_view c = info.comment;
    if (c.starts_with("* ")) c.remove_prefix(2);
    return c;
}

std::string pathToUtf8(const std::filesystem::path& p) {
    return utf8FromPath(p);
}

// Number of characters in Shift-JIS bytes: a lead byte takes its trail byte along.
int cp932CharCount(std::string_view bytes) {
    int count = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i, ++count) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) && i + 1 < bytes.size()) ++i;
    }
    return count;
}

std::string_view trimSpaces(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// The value text of a key, in UTF-8.
std::string valueText(const JobSettings& s, const KeyInfo& info, bool forFile) {
    if (auto f = std::get_if<TextField>(&info.field)) return s.**f;
    if (auto f = std::get_if<FactorField>(&info.field))
        return forFile ? shortDecimal(s.**f) : fieldDecimal(s.**f);
    return std::to_string(s.*std::get<PositionField>(info.field));
}

// Stores a value read from the file (Shift-JIS bytes) into the record.
void storeFileValue(JobSettings& s, const KeyInfo& info, std::string_view bytes) {
    if (auto f = std::get_if<TextField>(&info.field)) {
        auto text = cp932ToUtf8(bytes);
        std::string utf8 = text ? *text : cp932ToUtf8Lenient(bytes);
        s.originalBytes[std::string(info.key)] = {utf8, std::string(bytes)};
        s.** f = std::move(utf8);
        return;
    }
    const double number = leadingNumber(bytes);
    if (auto f = std::get_if<FactorField>(&info.field)) {
        // A number beyond the range of a float leaves the field as it was.
        if (std::fabs(number) <= std::numeric_limits<float>::max())
            s.** f = static_cast<float>(number);
        return;
    }
    const double rounded = roundHalfEven(number);
    // A position beyond 16 bits leaves the field as it was.
    if (rounded >= std::numeric_limits<std::int16_t>::min() &&
        rounded <= std::numeric_limits<std::int16_t>::max())
        s.*std::get<PositionField>(info.field) = static_cast<std::int16_t>(rounded);
}

std::string fieldName(const KeyInfo& info) {
    return std::string(label(info)) + " (" + std::string(info.key) + ")";
}

} // namespace

SettingKind settingKind(std::string_view key) {
    const KeyInfo* info = findKey(key);
    if (!info) return SettingKind::Unknown;
    if (std::holds_alternative<TextField>(info->field)) return SettingKind::Text;
    if (std::holds_alternative<FactorField>(info->field)) return SettingKind::Factor;
    return SettingKind::Position;
}

std::string* textSetting(JobSettings& settings, std::string_view key) {
    const KeyInfo* info = findKey(key);
    if (!info || !std::holds_alternative<TextField>(info->field)) return nullptr;
    return &(settings.*std::get<TextField>(info->field));
}

std::string_view settingLabel(std::string_view key) {
    const KeyInfo* info = findKey(key);
    return info ? label(*info) : std::string_view();
}

const std::vector<std::string_view>& settingKeys() {
    static const std::vector<std::string_view> keys = [] {
        std::vector<std::string_view> k;
        for (const auto& info : kKeys)
            k.push_back(info.key);
        return k;
    }();
    return keys;
}

JobSettings defaultSettings(const std::filesystem::path& programFolder) {
    JobSettings s;
    s.OfiFile = pathToUtf8(programFolder);
    return s;
}

JobSettings LoadSettings(const std::filesystem::path& programFolder) {
    return LoadSettingsFile(programFolder / kSettingsFileName, programFolder);
}

JobSettings LoadSettingsFile(const std::filesystem::path& file,
                             const std::filesystem::path& programFolder) {
    JobSettings s = defaultSettings(programFolder);
    std::ifstream in(file, std::ios::binary);
    if (!in) return s;
    std::string content(kMaxSettingsFileBytes, '\0');
    in.read(content.data(), static_cast<std::streamsize>(content.size()));
    content.resize(static_cast<std::size_t>(in.gcount()));

    std::string_view rest = content;
    while (!rest.empty()) {
        const auto lf = rest.find('\n');
        std::string_view line = rest.substr(0, lf);
        rest = lf == std::string_view::npos ? std::string_view() : rest.substr(lf + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);

        // The key is everything before the first "=", matched exactly.
        const auto eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        const KeyInfo* info = findKey(line.substr(0, eq));
        if (!info) continue;
        // The value ends where two spaces follow each other, else at the line's end.
        std::string_view value = line.substr(eq + 1);
        value = value.substr(0, value.find("  "));
        storeFileValue(s, *info, value);
    }
    keepLegacyFolderBytes(s, programFolder);
    return s;
}

Status textReadsBack(std::string_view value) {
    if (value.find_first_of("\r\n") != std::string_view::npos)
        return Status::failure("改行は書けません");
    if (value.find("  ") != std::string_view::npos)
        return Status::failure("空白が2つ続く値は書けません（そこで値が切れます）");
    if (value.ends_with(' '))
        return Status::failure("末尾の空白は書けません（読み込みで消えます）");
    if (const auto bytes = utf8ToCp932(value); bytes && cp932ToUtf8(*bytes) == value) return {};
    // Name the first character that does not come back.
    std::size_t i = 0;
    while (i < value.size()) {
        const auto lead = static_cast<unsigned char>(value[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        const std::string_view c = value.substr(i, length);
        i += length;
        const auto bytes = utf8ToCp932(c);
        if (!bytes) return Status::failure("「" + std::string(c) + "」は Shift-JIS で書けません");
        if (const auto back = cp932ToUtf8(*bytes); back != c)
            return Status::failure("「" + std::string(c) + "」は Shift-JIS では「" +
                                   back.value_or("?") + "」として読み戻されます");
    }
    return Status::failure("Shift-JIS で書けない文字が含まれています");
}

std::string settingsFileBytes(const JobSettings& settings, std::vector<std::string>* kept) {
    static const JobSettings kDefaults;
    std::string out;
    for (auto line : kBanner) {
        out += utf8ToCp932(line).value_or(std::string());
        out += kCrLf;
    }
    for (const auto& info : kKeys) {
        std::string value = valueText(settings, info, true);
        std::string bytes;
        Status readsBack;
        const auto original = settings.originalBytes.find(info.key);
        const bool read = original != settings.originalBytes.end();
        if (auto f = std::get_if<TextField>(&info.field)) {
            if (read && original->second.first == value) {
                bytes = original->second.second;
            } else if (info.key == "OfiFile" && isLegacyFolderBytes(value)) {
                bytes = value; // a folder named in Shift-JIS: its bytes as they are
            } else if (readsBack = textReadsBack(value); readsBack) {
                bytes = *utf8ToCp932(value);
            } else {
                // The line keeps what it held; the rest of the file is saved.
                if (kept)
                    kept->push_back(fieldName(info) + ": " + readsBack.reason() +
                                    "。前の値のままです");
                if (read) {
                    bytes = original->second.second;
                } else if (info.key == "OfiFile") {
                    continue; // read back, a missing line gives the program folder
                } else {
                    bytes = *utf8ToCp932(kDefaults.**f);
                }
            }
        } else {
            bytes = value; // digits, sign and point: the same in Shift-JIS
            if (auto g = std::get_if<FactorField>(&info.field); g && !std::isfinite(settings.**g)) {
                if (kept)
                    kept->push_back(fieldName(info) + ": 数値ではありません。既定値を書きます");
                bytes = shortDecimal(kDefaults.**g);
            }
        }

        const int spaces = info.fixedRun
                               ? info.width
                               : std::max(kMinSeparatorSpaces, info.width - cp932CharCount(bytes));
        out += info.key;
        out += '=';
        out += bytes;
        out.append(static_cast<std::size_t>(spaces), ' ');
        out += utf8ToCp932(info.comment).value_or(std::string());
        out += kCrLf;
    }
    return out;
}

Status SaveSettings(const std::filesystem::path& programFolder, const JobSettings& settings,
                    std::vector<std::string>* kept) {
    const std::string bytes = settingsFileBytes(settings, kept);
    return replaceFileContents(programFolder / std::string(kSettingsFileName), bytes);
}

Status setSettingByKey(JobSettings& settings, std::string_view key, std::string_view value) {
    const KeyInfo* info = findKey(key);
    if (!info) return Status::failure("不明な設定キーです: " + std::string(key));
    if (auto f = std::get_if<TextField>(&info->field)) {
        const bool legacyFolder = info->key == "OfiFile" && isLegacyFolderBytes(value);
        if (Status readsBack = textReadsBack(value); !legacyFolder && !readsBack)
            return readsBack.about(fieldName(*info));
        settings.** f = std::string(value);
        return {};
    }
    std::string_view text = trimSpaces(value);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (auto f = std::get_if<FactorField>(&info->field)) {
        double number = 0;
        const auto r = std::from_chars(first, last, number);
        if (text.empty() || r.ec != std::errc() || r.ptr != last || !std::isfinite(number) ||
            std::fabs(number) > std::numeric_limits<float>::max()) {
            return Status::failure(fieldName(*info) + ": 「" + std::string(value) +
                                   "」は数値ではありません");
        }
        settings.** f = static_cast<float>(number);
        return {};
    }
    std::int16_t position = 0;
    const auto r = std::from_chars(first, last, position);
    if (text.empty() || r.ec != std::errc() || r.ptr != last) {
        return Status::failure(fieldName(*info) + ": 「" + std::string(value) +
                               "」は -32768 から 32767 までの整数ではありません");
    }
    settings.*std::get<PositionField>(info->field) = position;
    return {};
}

std::optional<std::string> settingText(const JobSettings& settings, std::string_view key) {
    const KeyInfo* info = findKey(key);
    if (!info) return std::nullopt;
    return valueText(settings, *info, false);
}

} // namespace kesto
