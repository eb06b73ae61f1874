#include "job/HistoryFormat.h"

#include "job/LocalTime.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>

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

std::string_view trimmedTitle(std::string_view title) {
    while (!title.empty() && title.back() == ' ')
        title.remove_suffix(1);
    return title;
}

// Appends `bytes` with every byte that is not part of valid UTF-8 written as
// "\\xNN".  Runs that need nothing are appended whole; an ASCII byte for
// which `special` says so goes through `put` (and so does each character of
// a "\\xNN").
template <typename Special, typename Put>
void appendPrintable(std::string& out, std::string_view bytes, Special special, Put put) {
    std::size_t i = 0, run = 0;
    const auto flushRun = [&] { out.append(bytes.substr(run, i - run)); };
    while (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            if (!special(c)) {
                ++i;
                continue;
            }
            flushRun();
            put(out, bytes[i]);
        } else {
            char32_t cp = 0;
            const std::size_t n = decode(bytes.substr(i), cp);
            if (n != 0) {
                i += n;
                continue;
            }
            flushRun();
            static constexpr char kHex[] = "0123456789ABCDEF";
            for (char e : {'\\', 'x', kHex[c >> 4], kHex[c & 15]})
                put(out, e);
        }
        run = ++i;
    }
    flushRun();
}

void appendAsIs(std::string& out, char c) {
    out += c;
}

void appendJsonString(std::string& out, std::string_view text) {
    out += '"';
    appendPrintable(
        out, text, [](unsigned char c) { return c == '"' || c == '\\' || c < 0x20; },
        [](std::string& o, char ch) {
            const auto c = static_cast<unsigned char>(ch);
            if (c == '"' || c == '\\') {
                o += '\\';
                o += ch;
            } else if (c < 0x20) {
                static constexpr char kHex[] = "0123456789abcdef";
                o += "\\u00";
                o += kHex[c >> 4];
                o += kHex[c & 15];
            } else {
                o += ch;
            }
        });
    out += '"';
}

void appendCsvField(std::string& out, std::string_view text) {
    std::string t;
    appendPrintable(
        t, text, [](unsigned char) { return false; }, appendAsIs);
    if (t.find_first_of(",\"\r\n") == std::string::npos) {
        out += t;
        return;
    }
    out += '"';
    for (char c : t)
        c == '"' ? out += "\"\"" : out += c;
    out += '"';
}

// The fields of the JSON and CSV forms, by name.  A field's text is a view
// of the row, or made in `scratch`.
struct Field {
    const char* name;
    std::string_view (*text)(const JobRow& r, HistoryScratch& scratch);
    bool number;
};

std::string_view made(HistoryScratch& scratch, std::string text) {
    scratch.text = std::move(text);
    return scratch.text;
}

template <typename Number> std::string_view numberText(HistoryScratch& scratch, Number n) {
    return made(scratch, std::to_string(n));
}

const std::vector<Field>& fields() {
    using S = HistoryScratch;
    using V = std::string_view;
    static const std::vector<Field> list = {
        {"id", [](const JobRow& r, S& s) { return numberText(s, r.id); }, true},
        {"kind", [](const JobRow& r, S&) { return V(r.kind); }, false},
        {"original", [](const JobRow& r, S& s) { return numberText(s, r.original); }, true},
        {"started", [](const JobRow& r, S& s) { return made(s, s.times(r.startedMs)); }, false},
        {"ended", [](const JobRow& r, S& s) { return made(s, s.times(r.endedMs)); }, false},
        {"host", [](const JobRow& r, S&) { return V(r.host); }, false},
        {"user", [](const JobRow& r, S&) { return V(r.user); }, false},
        {"program_folder", [](const JobRow& r, S&) { return V(r.programFolder); }, false},
        {"ofi_path", [](const JobRow& r, S&) { return V(r.ofiPath); }, false},
        {"ofi_size", [](const JobRow& r, S& s) { return numberText(s, r.ofiIdentity.size); }, true},
        {"ofi_sha256", [](const JobRow& r, S&) { return V(r.ofiSha256); }, false},
        {"title", [](const JobRow& r, S&) { return trimmedTitle(r.title); }, false},
        {"sheet", [](const JobRow& r, S&) { return V(r.sheet); }, false},
        {"rotation", [](const JobRow& r, S& s) { return numberText(s, r.rotation); }, true},
        {"reduction",
         [](const JobRow& r, S& s) {
             char t[32];
             std::snprintf(t, sizeof t, "%g", r.reduction);
             return made(s, t);
         },
         true},
        {"output", [](const JobRow& r, S&) { return V(r.output); }, false},
        {"printer", [](const JobRow& r, S&) { return V(r.printer); }, false},
        {"spooler_job", [](const JobRow& r, S&) { return V(r.spoolerJob); }, false},
        {"glf_path", [](const JobRow& r, S&) { return V(r.glfPath); }, false},
        {"glf_size", [](const JobRow& r, S& s) { return numberText(s, r.glfSize); }, true},
        {"glf_sha256", [](const JobRow& r, S&) { return V(r.glfSha256); }, false},
        {"outcome", [](const JobRow& r, S&) { return V(r.outcome); }, false},
        {"reason", [](const JobRow& r, S&) { return V(r.reason); }, false},
        {"archive_path", [](const JobRow& r, S&) { return V(r.archivePath); }, false},
    };
    return list;
}

constexpr std::int64_t kDay = 86400;
constexpr std::int64_t kQuarter = 900;
constexpr std::time_t kLastMoment = 253402300799; // 9999-12-31 23:59:59 UTC

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar, and
// back (the eras of 400 years that repeat the calendar exactly).
std::int64_t daysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yearOfEra = y - era * 400;
    const std::int64_t dayOfYear = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void civilFromDays(std::int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yearOfEra + era * 400 + (month <= 2));
}

// How far the machine's local time is ahead of UTC at `when`, in seconds.
std::optional<std::int64_t> offsetFromUtc(std::time_t when) {
    const std::optional<std::tm> t = localTm(when);
    if (!t) return std::nullopt;
    const std::int64_t local = daysFromCivil(t->tm_year + 1900, t->tm_mon + 1, t->tm_mday) * kDay +
                               t->tm_hour * 3600 + t->tm_min * 60 + t->tm_sec;
    return local - static_cast<std::int64_t>(when);
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
    appendPrintable(
        out, bytes, [](unsigned char) { return false; }, appendAsIs);
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
    return LocalTimeTexts()(ms);
}

std::string LocalTimeTexts::operator()(std::int64_t ms) {
    if (ms == 0) return "";
    const auto when = static_cast<std::time_t>(ms / 1000);
    if (when < 0 || when > kLastMoment) return localTime(when, "%Y-%m-%d %H:%M:%S");
    const std::int64_t q = when / kQuarter;
    if (q != quarter_) {
        quarter_ = q;
        const std::optional<std::int64_t> first = offsetFromUtc(q * kQuarter);
        offset_ =
            first && first == offsetFromUtc(q * kQuarter + kQuarter - 1) ? first : std::nullopt;
    }
    const std::optional<std::int64_t> offset = offset_ ? offset_ : offsetFromUtc(when);
    if (!offset) return localTime(when, "%Y-%m-%d %H:%M:%S");
    const std::int64_t local = when + *offset;
    const std::int64_t days = local >= 0 ? local / kDay : (local - kDay + 1) / kDay;
    const std::int64_t seconds = local - days * kDay;
    int year = 0, month = 0, day = 0;
    civilFromDays(days, year, month, day);
    if (year > 9999) return localTime(when, "%Y-%m-%d %H:%M:%S");
    std::string text = "0000-00-00 00:00:00";
    const auto digits = [&text](std::size_t at, int value, int width) {
        for (int i = width - 1; i >= 0; --i, value /= 10)
            text[at + static_cast<std::size_t>(i)] = static_cast<char>('0' + value % 10);
    };
    digits(0, year, 4);
    digits(5, month, 2);
    digits(8, day, 2);
    digits(11, static_cast<int>(seconds / 3600), 2);
    digits(14, static_cast<int>(seconds / 60 % 60), 2);
    digits(17, static_cast<int>(seconds % 60), 2);
    return text;
}

std::string historyTable(const std::vector<JobRow>& rows) {
    const std::array<const char*, 6> heads = {"ID", "開始", "結果", "出力", "題名", "OFI"};
    std::vector<std::array<std::string, 6>> cells;
    LocalTimeTexts times;
    for (const JobRow& r : rows)
        cells.push_back({std::to_string(r.id), times(r.startedMs), r.outcome,
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

HistoryStream::HistoryStream(HistoryForm form, std::function<void(std::string_view)> sink)
    : form_(form), sink_(std::move(sink)) {
    if (form_ == HistoryForm::Json) {
        text_ = "[";
    } else {
        for (const Field& f : fields())
            text_ += (text_.empty() ? "" : ",") + std::string(f.name);
        text_ += "\r\n";
    }
}

void HistoryStream::add(const JobRow& row) {
    if (form_ == HistoryForm::Json) {
        text_ += rows_ == 0 ? "\n  {" : ",\n  {";
        bool first = true;
        for (const Field& f : fields()) {
            if (!first) text_ += ", ";
            first = false;
            appendJsonString(text_, f.name);
            text_ += ": ";
            const std::string_view text = f.text(row, scratch_);
            f.number ? void(text_ += text) : appendJsonString(text_, text);
        }
        text_ += '}';
    } else {
        bool first = true;
        for (const Field& f : fields()) {
            if (!first) text_ += ',';
            first = false;
            appendCsvField(text_, f.text(row, scratch_));
        }
        text_ += "\r\n";
    }
    ++rows_;
    if (text_.size() >= kFlushBytes) flush();
}

void HistoryStream::finish() {
    if (form_ == HistoryForm::Json) text_ += rows_ == 0 ? "]\n" : "\n]\n";
    flush();
}

void HistoryStream::flush() {
    if (!text_.empty()) sink_(text_);
    text_.clear();
}

namespace {

std::string streamed(HistoryForm form, const std::vector<JobRow>& rows) {
    std::string out;
    HistoryStream stream(form, [&out](std::string_view text) { out += text; });
    for (const JobRow& r : rows)
        stream.add(r);
    stream.finish();
    return out;
}

} // namespace

std::string historyJson(const std::vector<JobRow>& rows) {
    return streamed(HistoryForm::Json, rows);
}

std::string historyCsv(const std::vector<JobRow>& rows) {
    return streamed(HistoryForm::Csv, rows);
}

} // namespace kesto
