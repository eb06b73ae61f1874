#pragma once
// The journal's rows as people and programs read them: an aligned table
// (full-width characters take two columns), JSON, or CSV with a header row.
// Everything is UTF-8; bytes of a name that are not UTF-8 show as "\xNN".

#include "job/Journal.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kesto {

// Columns a terminal gives the text: 2 for a wide or full-width character,
// 1 for others (half-width katakana included).
std::size_t displayWidth(std::string_view utf8);
// `bytes` with every byte that is not part of valid UTF-8 written as "\xNN".
std::string printableUtf8(std::string_view bytes);

// "YYYY-MM-DD" or "YYYY-MM-DD HH:MM[:SS]" (or with "T"), local time, as
// milliseconds since 1970; nullopt when it is not one.
std::optional<std::int64_t> parseLocalTime(std::string_view text);
// "YYYY-MM-DD HH:MM:SS", local time; "" for 0.
std::string localTimeText(std::int64_t ms);

// The same for the many moments of a listing: the machine's offset from UTC
// is looked up once per quarter of an hour (where it is the same at both
// ends of it), the rest is arithmetic.
class LocalTimeTexts {
public:
    std::string operator()(std::int64_t ms);

private:
    std::int64_t quarter_ = -1;
    std::optional<std::int64_t> offset_;
};

// Room a listing uses again for each field it writes.
struct HistoryScratch {
    std::string text;
    LocalTimeTexts times;
};

std::string historyTable(const std::vector<JobRow>& rows);
std::string historyJson(const std::vector<JobRow>& rows);
std::string historyCsv(const std::vector<JobRow>& rows);

enum class HistoryForm { Json, Csv };

// JSON or CSV written while the rows are read: the text goes to `sink` in
// pieces of whole rows.
class HistoryStream {
public:
    HistoryStream(HistoryForm form, std::function<void(std::string_view)> sink);
    void add(const JobRow& row);
    // The closing text, and what is left to the sink.
    void finish();

private:
    static constexpr std::size_t kFlushBytes = 1 << 20;
    void flush();

    HistoryForm form_;
    std::function<void(std::string_view)> sink_;
    std::string text_;
    HistoryScratch scratch_;
    std::size_t rows_ = 0;
};

} // namespace kesto
