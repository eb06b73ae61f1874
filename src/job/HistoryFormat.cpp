#include "job/HistoryFormat.h"

#include "job/LocalTime.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>
#include <functional>

namespace kesto {
namespace {

// Decodes one UTF-8 sequence at `s`; 0 bytes when it is not valid.
std::size_t decode(std::string_view s, char32_t& cp) {
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char c = b(0);
    std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || n > s.size()) return 0;
    cp = n == 1 ? c : n == 2 ? c & 0x1f : n == 3 ? c & 0x0f : c & 0x07;
    for (std::size_t i = 1; i < n; ++i) {
        if ((b(i) & 0xc0) != 0x80) return 0;
        cp = cp << 6 | (b(i) & 0x3f);
    }
    static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kLeast[n] || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff)) return 0;
    return n;
}

bool wide(char32_t c) {
    return (c >= 0x1100 && c <= 0x115f) || (c >= 0x2e80 && c <= 0xa4cf && c != 0x303f) ||
           (c >= 0xac00 && c <= 0xd7a3) || (c >= 0xf900 && c <= 0xfaff) ||
           (c >= 0xfe30 && c <= 0xfe4f) || (c >= 0xff00 && c <= 0xff60) ||
           (c >= 0xffe0 && c <= 0xffe6) || (c >= 0x20000 && c <= 0x3fffd);
}

std::string padded(const std::string& text, std::size_t width) {
    return text + std::string(width - std::min(width, displayWidth(text)), ' ');
}

// The output column: the printer with the spooler's job number where it
// gave one, or the words for output to file.
std::string outputText(const JobRow& r) {
    if (r.printer.empty()) return r.output;
    return r.spoolerJob.empty() ? r.printer : r.printer + " #" + r.spoolerJob;
}

std::string trimmedTitle(const std::string& title) {
    std::string t = title;
    while (!t.empty() && t.back() == ' ')
        t.pop_back();
    return t;
}

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    for (char ch : printableUtf8(text)) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

std::string csvField(std::string_view text) {
    const std::string t = printableUtf8(text);
    if (t.find_first_of(",\"\r\n") == std::string::npos) return t;
    std::string out = "\"";
    for (char c : t)
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

// The fields of the JSON and CSV forms, by name.
struct Field {
    const char* name;
    std::function<std::string(const JobRow&)> text;
    bool number;
};

const std::vector<Field>& fields() {
    static const std::vector<Field> list = {
        {"id", [](const JobRow& r) { return std::to_string(r.id); }, true},
        {"kind", [](const JobRow& r) { return r.kind; }, false},
        {"original", [](const JobRow& r) { return std::to_string(r.original); }, true},
        {"started", [](const JobRow& r) { return localTimeText(r.startedMs); }, false},
        {"ended", [](const JobRow& r) { return localTimeText(r.endedMs); }, false},
        {"host", [](const JobRow& r) { return r.host; }, false},
        {"user", [](const JobRow& r) { return r.user; }, false},
        {"program_folder", [](const JobRow& r) { return r.programFolder; }, false},
        {"ofi_path", [](const JobRow& r) { return r.ofiPath; }, false},
        {"ofi_size", [](const JobRow& r) { return std::to_string(r.ofiIdentity.size); }, true},
        {"ofi_sha256", [](const JobRow& r) { return r.ofiSha256; }, false},
        {"title", [](const JobRow& r) { return trimmedTitle(r.title); }, false},
        {"sheet", [](const JobRow& r) { return r.sheet; }, false},
        {"rotation", [](const JobRow& r) { return std::to_string(r.rotation); }, true},
        {"reduction",
         [](const JobRow& r) {
             char t[32];
             std::snprintf(t, sizeof t, "%g", r.reduction);
             return std::string(t);
         },
         true},
        {"output", [](const JobRow& r) { return r.output; }, false},
        {"printer", [](const JobRow& r) { return r.printer; }, false},
        {"spooler_job", [](const JobRow& r) { return r.spoolerJob; }, false},
        {"glf_path", [](const JobRow& r) { return r.glfPath; }, false},
        {"glf_size", [](const JobRow& r) { return std::to_string(r.glfSize); }, true},
        {"glf_sha256", [](const JobRow& r) { return r.glfSha256; }, false},
        {"outcome", [](const JobRow& r) { return r.outcome; }, false},
        {"reason", [](const JobRow& r) { return r.reason; }, false},
        {"archive_path", [](const JobRow& r) { return r.archivePath; }, false},
    };
    return list;
}

} // namespace

std::size_t displayWidth(std::string_view utf8) {
    std::size_t width = 0;
    while (!utf8.empty()) {
        char32_t c = 0;
        const std::size_t n = decode(utf8, c);
        width += n == 0 ? 4 : wide(c) ? 2 : 1; // an undecodable byte shows as "\xNN"
        utf8.remove_prefix(n == 0 ? 1 : n);
    }
    return width;
}

std::string printableUtf8(std::string_view bytes) {
    std::string out;
    while (!bytes.empty()) {
        char32_t c = 0;
        const std::size_t n = decode(bytes, c);
        if (n == 0) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\x%02X", static_cast<unsigned char>(bytes[0]));
            out += esc;
            bytes.remove_prefix(1);
        } else {
            out.append(bytes.substr(0, n));
            bytes.remove_prefix(n);
        }
    }
    return out;
}

std::optional<std::int64_t> parseLocalTime(std::string_view text) {
    std::tm t{};
    int consumed = 0;
    const std::string s(text);
    if (std::sscanf(s.c_str(), "%4d-%2d-%2d%n", &t.tm_year, &t.tm_mon, &t.tm_mday, &consumed) != 3)
        return std::nullopt;
    std::string_view rest = std::string_view(s).substr(static_cast<std::size_t>(consumed));
    if (!rest.empty()) {
        if (rest[0] != ' ' && rest[0] != 'T') return std::nullopt;
        int used = 0;
        const std::string clock(rest.substr(1));
        const int n = std::sscanf(clock.c_str(), "%2d:%2d%n:%2d%n", &t.tm_hour, &t.tm_min, &used,
                                  &t.tm_sec, &used);
        if (n < 2 || static_cast<std::size_t>(used) != clock.size()) return std::nullopt;
    }
    if (t.tm_mon < 1 || t.tm_mon > 12 || t.tm_mday < 1 || t.tm_mday > 31 || t.tm_hour > 23 ||
        t.tm_min > 59 || t.tm_sec > 60)
        return std::nullopt;
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    t.tm_isdst = -1;
    const std::time_t when = std::mktime(&t);
    if (when == static_cast<std::time_t>(-1)) return std::nullopt;
    return static_cast<std::int64_t>(when) * 1000;
}

std::string localTimeText(std::int64_t ms) {
    if (ms == 0) return "";
    return localTime(static_cast<std::time_t>(ms / 1000), "%Y-%m-%d %H:%M:%S");
}

std::string historyTable(const std::vector<JobRow>& rows) {
    const std::array<const char*, 6> heads = {"ID", "開始", "結果", "出力", "題名", "OFI"};
    std::vector<std::array<std::string, 6>> cells;
    for (const JobRow& r : rows)
        cells.push_back({std::to_string(r.id), localTimeText(r.startedMs), r.outcome,
                         printableUtf8(outputText(r)), printableUtf8(trimmedTitle(r.title)),
                         printableUtf8(r.ofiName)});
    std::array<std::size_t, 6> width{};
    for (std::size_t i = 0; i < heads.size(); ++i)
        width[i] = displayWidth(heads[i]);
    for (const auto& row : cells)
        for (std::size_t i = 0; i < row.size(); ++i)
            width[i] = std::max(width[i], displayWidth(row[i]));
    const auto line = [&](const std::array<std::string, 6>& row) {
        std::string out;
        for (std::size_t i = 0; i + 1 < row.size(); ++i)
            out += padded(row[i], width[i]) + "  ";
        return out + row.back() + "\n";
    };
    std::string out = line({heads[0], heads[1], heads[2], heads[3], heads[4], heads[5]});
    for (const auto& row : cells)
        out += line(row);
    return out;
}

std::string historyJson(const std::vector<JobRow>& rows) {
    std::string out = "[";
    for (std::size_t n = 0; n < rows.size(); ++n) {
        out += n == 0 ? "\n  {" : ",\n  {";
        bool first = true;
        for (const Field& f : fields()) {
            out += first ? "" : ", ";
            first = false;
            out += jsonString(f.name) + ": " +
                   (f.number ? f.text(rows[n]) : jsonString(f.text(rows[n])));
        }
        out += "}";
    }
    return out + (rows.empty() ? "]\n" : "\n]\n");
}

std::string historyCsv(const std::vector<JobRow>& rows) {
    std::string out;
    for (const Field& f : fields())
        out += (out.empty() ? "" : ",") + std::string(f.name);
    out += "\r\n";
    for (const JobRow& r : rows) {
        std::string line;
        for (const Field& f : fields())
            line += (line.empty() && &f == &fields().front() ? "" : ",") + csvField(f.text(r));
        out += line + "\r\n";
    }
    return out;
}

} // namespace kesto
