// The journal of every pump seen: one CSV record an identification, a fault
// read and an erase, appended to journal.csv in the user's folder (see
// csv.h for the format, journal_layout.h for its columns, append_file.h for
// the safety of appending, journal_keeper.h for records that could not be
// written).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "report/append_file.h"
#include "report/diagnosis.h"
#include "report/journal_layout.h"

namespace report {

// A failed link's event names its cause and the sentence the user read:
// "link failed (no_answer): ...".
// An adapter's removal names the port, and the pump identified on it if any.
enum class JournalEvent { Identification, FaultRead, Erase, LinkFailed, AdapterRemoved };

// The journal's file in the user's folder; empty when there is no such folder.
std::string JournalPath();

// The record of `event` in `d` at `time`. Faults are "53:2 5A:17" (code in
// hex, counter), or "no faults"; empty for an identification, a failed link
// and a removal.
JournalEntry JournalRecord(JournalEvent event, const Diagnosis& d, const LocalTime& time);

// Appends the entries in one write, in the file's own layout, separator and
// line end (a new file gets the current layout), making the folder when
// missing. A file whose first line is no journal header is left alone.
WriteFailure AppendJournalEntries(const std::string& path, const std::vector<JournalEntry>& entries);

// Appends one record. Returns an empty text, or what failed with the folder
// and the reason. (The window and the companion go through JournalKeeper,
// which keeps what could not be written.)
std::string AppendToJournal(const std::string& path, JournalEvent event, const Diagnosis& d, const LocalTime& time);

// Reads a journal record by record, the header skipped, whatever its
// length: memory stays small. A cut record (the last line without its end, a
// line with too few fields) is returned marked cut.
class JournalReader {
public:
    // Raises core::EFOpenError when the file cannot be opened.
    explicit JournalReader(const std::string& path);
    // The journal that `source` gives.
    explicit JournalReader(CsvReader::Source source);
    JournalReader(const JournalReader&) = delete;
    JournalReader& operator=(const JournalReader&) = delete;
    // The next record; false at the end. Raises core::EFOpenError when the
    // file cannot be read.
    bool Next(JournalEntry& entry);

private:
    struct File {
        explicit File(const std::string& path);
        ~File();
        std::string path;
        int fd = -1;
    };
    std::unique_ptr<File> file_;  // none for a source of the caller's
    CsvReader csv_;
    CsvRow row_;  // its strings used again from record to record
    JournalLayout layout_;
    bool first_ = true;
};

// The whole journal; for tests and small files.
std::vector<JournalEntry> ReadJournal(const std::string& path);
// The records of a journal's text (a pending file read under its lock).
std::vector<JournalEntry> ParseJournal(std::string_view text);

// Whether the entry's serial number is `serial`: the whole field, or its
// first word, letter case and spaces aside.
bool SerialMatches(const JournalEntry& entry, const std::string& serial);
// Whether the entry is from the day `date` (YYYY-MM-DD) or later.
bool SinceMatches(const JournalEntry& entry, const std::string& date);

}  // namespace report
