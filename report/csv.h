// The journal's CSV as spreadsheets read it: RFC 4180 quoting, CR LF line
// ends, ';' as the separator by default (what spreadsheets in a comma-decimal
// locale such as Russian expect), ',' where a file was saved back that way.
//
// No field is run by a spreadsheet: one that begins with a character that
// starts a formula (= + - @, tab, CR) is written with an apostrophe before
// it, as is one that begins with an apostrophe of its own, so that the
// reader takes exactly one leading apostrophe off every field and gets back
// what was written.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace report {

inline constexpr char kCsvSeparator = ';';

// One record as a whole line, CR LF included. A field holding either
// separator, a quote, CR or LF is quoted, its quotes doubled.
std::string CsvLine(const std::vector<std::string>& fields, char separator = kCsvSeparator);

struct CsvRow {
    std::vector<std::string> fields;
    // False for a last line with no line end (cut by a power loss, say), for
    // a line whose quotes never close, and for a row beyond any record's length.
    bool complete = true;
};

// Reads rows one at a time from a source of bytes, so that memory stays
// small whatever the file's length. A leading UTF-8 byte-order mark is
// skipped; the separator is the one of ';' and ',' that the first line uses.
class CsvReader {
public:
    // Fills `into` with up to `room` bytes; 0 at the end. May throw.
    using Source = std::function<std::size_t(char* into, std::size_t room)>;
    // A row longer than this is no record: it is returned cut and the rest of
    // its line skipped.
    static constexpr std::size_t kMostRowBytes = 256 * 1024;

    explicit CsvReader(Source source);
    char Separator() const { return separator_; }
    // The next row; false at the end.
    bool Next(CsvRow& row);

private:
    bool More();  // refills the buffer; false at the end
    void SkipLine();

    Source source_;
    std::string buffer_;
    std::size_t at_ = 0;
    bool end_ = false;
    char separator_ = kCsvSeparator;
};

// A source that gives `text`, which must outlive it.
CsvReader::Source TextSource(std::string_view text);

// Every row of `text` (see CsvReader).
std::vector<CsvRow> ParseCsv(std::string_view text);

}  // namespace report
