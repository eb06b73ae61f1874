#include "settings/JobSettings.h"

#include "settings/Cp932.h"
#include "settings/LegacyFolder.h"

#include <array>
#include <charconv>
#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>
#include <system_error>
#include <variant>

#include "io/ReplaceFile.h"
#include "io/NativeText.h"

namespace kesto {

namespace {

// Name of the settings file in the program folder.
constexpr std::string_view kSettingsFileName = "Kesto.sys";
// A settings file is a few hundred bytes; anything past this is not read.
constexpr std::size_t kMaxSettingsFileBytes = 1 << 20;
// Significant digits of a factor in the file and in the window.
constexpr int kFactorDigits = 7;
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

// Nearest integer, a value exactly halfway going to the even neighbour.
double roundHalfEven(double x) {
    const double lower = std::floor(x);
    const double diff = x - lower;
    if (diff < 0.5) return lower;
    if (diff > 0.5) return lower + 1;
    return std::fmod(lower, 2.0) == 0 ? lower : lower + 1;
}

std::string_view trimSpaces(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// The digits of |value| rounded to kFactorDigits significant digits (no
// trailing zeros) and the decimal exponent of the first one.
struct Digits {
    bool negative = false;
    std::string digits; // empty for zero
    int exponent = 0;
};

Digits factorDigits(float value) {
    Digits d;
    if (!std::isfinite(value) || value == 0.0f) return d;
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<double>(value),
                                 std::chars_format::scientific, kFactorDigits - 1);
    std::string_view s(buf, static_cast<std::size_t>(r.ptr - buf));
    if (s.front() == '-') {
        d.negative = true;
        s.remove_prefix(1);
    }
    const auto e = s.find('e');
    for (char c : s.substr(0, e))
        if (c != '.') d.digits += c;
    std::string_view exp = s.substr(e + 1);
    if (exp.front() == '+') exp.remove_prefix(1);
    std::from_chars(exp.data(), exp.data() + exp.size(), d.exponent);
    while (!d.digits.empty() && d.digits.back() == '0')
        d.digits.pop_back();
    return d;
}

// Plain decimal text of the digits, never with an exponent (the reader of the
// file knows no exponents).
std::string plainDecimal(float value, bool leadingZero) {
    const Digits d = factorDigits(value);
    if (d.digits.empty()) return "0";
    std::string out = d.negative ? "-" : "";
    const int n = static_cast<int>(d.digits.size());
    if (d.exponent < 0) {
        if (leadingZero) out += '0';
        out += '.';
        out.append(static_cast<std::size_t>(-d.exponent - 1), '0');
        out += d.digits;
    } else if (d.exponent + 1 >= n) {
        out += d.digits;
        out.append(static_cast<std::size_t>(d.exponent + 1 - n), '0');
    } else {
        out += d.digits.substr(0, static_cast<std::size_t>(d.exponent + 1));
        out += '.';
        out += d.digits.substr(static_cast<std::size_t>(d.exponent + 1));
    }
    return out;
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

void setError(std::string* error, std::string message) {
    if (error) *error = std::move(message);
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
    return LoadSettingsFile(programFolder / std::string(kSettingsFileName), programFolder);
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

bool textReadsBack(std::string_view value, std::string* why) {
    if (value.find_first_of("\r\n") != std::string_view::npos) {
        setError(why, "改行は書けません");
        return false;
    }
    if (value.find("  ") != std::string_view::npos) {
        setError(why, "空白が2つ続く値は書けません（そこで値が切れます）");
        return false;
    }
    if (value.ends_with(' ')) {
        setError(why, "末尾の空白は書けません（読み込みで消えます）");
        return false;
    }
    if (const auto bytes = utf8ToCp932(value); bytes && cp932ToUtf8(*bytes) == value) return true;
    // Name the first character that does not come back.
    std::size_t i = 0;
    while (i < value.size()) {
        const auto lead = static_cast<unsigned char>(value[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        const std::string_view c = value.substr(i, length);
        i += length;
        const auto bytes = utf8ToCp932(c);
        if (!bytes) {
            setError(why, "「" + std::string(c) + "」は Shift-JIS で書けません");
            return false;
        }
        if (const auto back = cp932ToUtf8(*bytes); back != c) {
            setError(why, "「" + std::string(c) + "」は Shift-JIS では「" + back.value_or("?") +
                              "」として読み戻されます");
            return false;
        }
    }
    setError(why, "Shift-JIS で書けない文字が含まれています");
    return false;
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
        std::string why;
        const auto original = settings.originalBytes.find(info.key);
        const bool read = original != settings.originalBytes.end();
        if (auto f = std::get_if<TextField>(&info.field)) {
            if (read && original->second.first == value) {
                bytes = original->second.second;
            } else if (info.key == "OfiFile" && isLegacyFolderBytes(value)) {
                bytes = value; // a folder named in Shift-JIS: its bytes as they are
            } else if (textReadsBack(value, &why)) {
                bytes = *utf8ToCp932(value);
            } else {
                // The line keeps what it held; the rest of the file is saved.
                if (kept) kept->push_back(fieldName(info) + ": " + why + "。前の値のままです");
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

bool setSettingByKey(JobSettings& settings, std::string_view key, std::string_view value,
                     std::string* error) {
    const KeyInfo* info = findKey(key);
    if (!info) {
        setError(error, "不明な設定キーです: " + std::string(key));
        return false;
    }
    if (auto f = std::get_if<TextField>(&info->field)) {
        std::string why;
        const bool legacyFolder = info->key == "OfiFile" && isLegacyFolderBytes(value);
        if (!legacyFolder && !textReadsBack(value, &why)) {
            setError(error, fieldName(*info) + ": " + why);
            return false;
        }
        settings.** f = std::string(value);
        return true;
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
            setError(error,
                     fieldName(*info) + ": 「" + std::string(value) + "」は数値ではありません");
            return false;
        }
        settings.** f = static_cast<float>(number);
        return true;
    }
    std::int16_t position = 0;
    const auto r = std::from_chars(first, last, position);
    if (text.empty() || r.ec != std::errc() || r.ptr != last) {
        setError(error, fieldName(*info) + ": 「" + std::string(value) +
                            "」は -32768 から 32767 までの整数ではありません");
        return false;
    }
    settings.*std::get<PositionField>(info->field) = position;
    return true;
}

std::optional<std::string> settingText(const JobSettings& settings, std::string_view key) {
    const KeyInfo* info = findKey(key);
    if (!info) return std::nullopt;
    return valueText(settings, *info, false);
}

double leadingNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    std::string number;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-') number += '-';
        ++i;
    }
    bool point = false;
    bool digits = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            digits = true;
            number += c;
        } else if (c == '.' && !point) {
            point = true;
            number += c;
        } else {
            break;
        }
    }
    if (!digits) return 0;
    if (number.back() == '.') number.pop_back();
    double value = 0;
    const auto r = std::from_chars(number.data(), number.data() + number.size(), value);
    if (r.ec == std::errc::result_out_of_range) {
        // Too many digits before the point is an overflow, else an underflow.
        const auto firstSignificant = number.find_first_of("123456789");
        const auto pointAt = number.find('.');
        if (pointAt != std::string::npos && firstSignificant > pointAt) return 0;
        return number.front() == '-' ? -std::numeric_limits<double>::infinity()
                                     : std::numeric_limits<double>::infinity();
    }
    return value;
}

std::string shortDecimal(float value) {
    return plainDecimal(value, false);
}

std::string fieldDecimal(float value) {
    return plainDecimal(value, true);
}

} // namespace kesto
