// Where the journal's fields sit in a journal file's columns. A file is read
// and appended to by the names in its header line, so that a journal in the
// older layout (one `time` column) and one saved back by a spreadsheet (its
// columns moved, its separator a comma) keep being read and written whole.
//
// The layout written to a new journal keeps what a spreadsheet in any locale
// makes of a column: the date (2026-12-08) and the time of day (11:25:13) in
// columns of their own, which spreadsheets take as a date and a time, the zone
// as text (UTC+03:00); the texts (port, identification, faults, version) end
// in an invisible word joiner (U+2060), so that no spreadsheet takes
// `0 470 506 917` or `53:2` for a number or a time. Reading takes one
// such mark off; the writer adds it to every non-empty text, so no text comes
// back changed, whatever it ends in.
#pragma once

#include <string>
#include <vector>

#include "report/csv.h"

namespace report {

// The journal's fields, whatever the file's columns; `time` is ISO 8601 with the zone.
inline constexpr const char* kJournalFields[] = {
    "time", "event", "port", "bosch_number", "id_number", "original_number", "serial_number", "faults", "erased",
    "version"};
inline constexpr std::size_t kJournalFieldCount = std::size(kJournalFields);

// The header line of a new journal, its column names in order.
inline constexpr const char* kJournalColumns[] = {
    "date", "time_of_day", "zone", "event", "port", "bosch_number", "id_number", "original_number", "serial_number",
    "faults", "erased", "version"};

struct JournalEntry {
    std::vector<std::string> fields = std::vector<std::string>(kJournalFieldCount);
    bool cut = false;  // a record cut short (its fields are what was there)
    const std::string& Field(const char* name) const;
    std::string& Field(const char* name);
};

class JournalLayout {
public:
    JournalLayout() : JournalLayout(std::vector<std::string>(std::begin(kJournalColumns), std::end(kJournalColumns))) {}
    // A new journal's.
    static JournalLayout Current();
    // The layout a header row names; false when it is no journal header
    // (no `event` column, or neither `time` nor `date`).
    static bool FromHeader(const std::vector<std::string>& header, JournalLayout& layout);
    // For a file without a header: a row of the older layout's length is of
    // that layout, any other of the current one.
    static JournalLayout Guessed(std::size_t fieldCount);

    const std::vector<std::string>& Columns() const { return columns_; }
    // The entry's values in this layout's columns, marks added.
    std::vector<std::string> Row(const JournalEntry& entry) const;
    // The entry a row holds, marks taken off; cut when the row is.
    JournalEntry Entry(const CsvRow& row) const;

private:
    explicit JournalLayout(std::vector<std::string> columns);
    // What each column holds, found once: a field's index, or a part of the time.
    enum Slot : int { kDate = -1, kTimeOfDay = -2, kZone = -3, kNone = -4 };
    std::vector<std::string> columns_;
    std::vector<int> slots_;
    std::vector<bool> texts_;
};

}  // namespace report
