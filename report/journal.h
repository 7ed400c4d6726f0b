// The journal of every pump seen: one CSV record an identification, a fault
// read and an erase, appended to journal.csv in the user's folder (see
// csv.h for the format, append_file.h for the safety of appending).
#pragma once

#include <string>
#include <vector>

#include "report/diagnosis.h"

namespace report {

enum class JournalEvent { Identification, FaultRead, Erase };

// The header line's column names, in order.
inline constexpr const char* kJournalColumns[] = {
    "time", "event", "port", "bosch_number", "id_number", "original_number", "serial_number", "faults", "erased",
    "version"};
inline constexpr std::size_t kJournalColumnCount = std::size(kJournalColumns);

// The journal's file in the user's folder; empty when there is no such folder.
std::string JournalPath();

// The record of `event` in `d` at `time`, as one CSV line. Faults are "53:2 5A:17"
// (code in hex, counter), or "no faults"; empty for an identification.
std::string JournalLine(JournalEvent event, const Diagnosis& d, const LocalTime& time);

// Appends the record, making the folder when missing. Returns an empty text,
// or what failed with the folder and the reason, for a box.
std::string AppendToJournal(const std::string& path, JournalEvent event, const Diagnosis& d, const LocalTime& time);

struct JournalEntry {
    std::vector<std::string> fields;  // kJournalColumnCount of them
    bool cut = false;                 // a record cut short (its fields are what was there)
    const std::string& Field(const char* column) const;
};

// The journal's records, the header skipped. A cut record (the last line
// without its end, or a line with too few fields) is returned marked cut.
// Raises core::EFOpenError when the file cannot be read.
std::vector<JournalEntry> ReadJournal(const std::string& path);

// Whether the entry's serial number is `serial`: the whole field, or its
// first word, letter case and spaces aside.
bool SerialMatches(const JournalEntry& entry, const std::string& serial);
// Whether the entry is from the day `date` (YYYY-MM-DD) or later.
bool SinceMatches(const JournalEntry& entry, const std::string& date);

}  // namespace report
