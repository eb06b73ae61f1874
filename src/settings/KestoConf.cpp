#include "settings/KestoConf.h"

#include "io/FileBytes.h"
#include "io/NativeText.h"

#include <charconv>
#include <system_error>

namespace kesto {
namespace {

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool wholeNumber(std::string_view text, std::int64_t low, std::int64_t high, std::int64_t& out) {
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high)
        return false;
    out = value;
    return true;
}

// Sets one key; false when the value does not fit it (or the key is unknown).
bool setKey(KestoConf& conf, std::string_view key, std::string_view value, std::string& why) {
    std::int64_t n = 0;
    if (key == "archive") {
        if (value != "on" && value != "off") return why = "on か off です", false;
        conf.archive = value == "on";
    } else if (key == "archive_days") {
        if (!wholeNumber(value, 0, 36500, n)) return why = "0〜36500 の日数です", false;
        conf.archiveDays = static_cast<int>(n);
    } else if (key == "archive_max_mb") {
        if (!wholeNumber(value, 0, std::int64_t{1} << 40, n))
            return why = "MB 単位の整数です", false;
        conf.archiveMaxBytes = static_cast<std::uint64_t>(n) << 20;
    } else if (key == "failure_command") {
        conf.failureCommand = splitCommandLine(value);
    } else if (key == "failure_timeout") {
        if (!wholeNumber(value, 1, 3600, n)) return why = "1〜3600 の秒数です", false;
        conf.failureTimeoutSeconds = static_cast<int>(n);
    } else {
        return why = "知らないキーです", false;
    }
    return true;
}

} // namespace

std::vector<std::string> splitCommandLine(std::string_view line) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false, quoted = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inWord) words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(std::move(word));
    return words;
}

KestoConf parseKestoConf(std::string_view text, std::vector<std::string>* problems) {
    KestoConf conf;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3); // a BOM some editors add
    int lineNumber = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++lineNumber;
        line = trimmed(line);
        if (line.empty() || line.front() == '#') continue;
        const std::size_t eq = line.find('=');
        std::string why = "「キー = 値」の形ではありません";
        if (eq != std::string_view::npos &&
            setKey(conf, trimmed(line.substr(0, eq)), trimmed(line.substr(eq + 1)), why))
            continue;
        if (problems)
            problems->push_back(std::string(kConfFileName) + " " + std::to_string(lineNumber) +
                                "行目: " + std::string(line) + ": " + why);
    }
    return conf;
}

KestoConf loadKestoConf(const std::filesystem::path& programFolder,
                        std::vector<std::string>* problems) {
    const std::filesystem::path file = programFolder / kConfFileName;
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return {};
    FileBytes bytes;
    if (Status read = bytes.read(file); !read) {
        if (problems) problems->push_back(read.reason() + "（既定値を使います）");
        return {};
    }
    return parseKestoConf(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), problems);
}

} // namespace kesto
