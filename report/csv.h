// The journal's CSV as spreadsheets read it: RFC 4180 quoting with ';' as the
// separator (what spreadsheets in a comma-decimal locale such as Russian
// expect), CR LF line ends.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace report {

inline constexpr char kCsvSeparator = ';';

// One record as a whole line, CR LF included. A field holding the separator,
// a quote, CR or LF is quoted, its quotes doubled.
std::string CsvLine(const std::vector<std::string>& fields);

struct CsvRow {
    std::vector<std::string> fields;
    // False for a last line with no line end (cut by a power loss, say) and
    // for a line whose quotes never close.
    bool complete = true;
};

// Every row of `text`, a leading UTF-8 byte-order mark skipped. A quoted
// field runs over line ends; a cut row is returned as not complete.
std::vector<CsvRow> ParseCsv(std::string_view text);

}  // namespace report
