// No journal record is lost: a record that cannot be appended (a read-only
// journal or folder, a journal held open by a spreadsheet, a full disk) is
// kept in a pending file, beside the journal or, where its folder cannot be
// written, in the user's folder or the user's state folder, and in memory
// where none can be written. Every kept record goes into the journal, in the
// order of its time, in the same write as the first record that can be
// written again. The user hears of it once a streak of failures, and once
// more when the kept records are in.
//
// Threads: one (the GUI thread, or the companion's main thread).
#pragma once

#include <string>
#include <vector>

#include "report/journal.h"

namespace report {

class JournalKeeper {
public:
    explicit JournalKeeper(std::string journalPath);
    // Another journal: what is kept for the former one stays in its pending
    // files; what only memory holds goes into the new one.
    void SetPath(std::string journalPath);
    const std::string& Path() const { return journal_; }

    struct Outcome {
        // For a box, at the first failure of a streak: the journal, the
        // reason, what to do, and where the records are kept.
        std::string problem;
        // For a box, when kept records have just gone into the journal.
        std::string written;
    };
    Outcome Record(const JournalEntry& entry);
    // Whether the last record could not be written to the journal (it is kept).
    bool Behind() const { return behind_; }

    // Where records kept for `journal` go, first choice first.
    static std::vector<std::string> PendingPlaces(const std::string& journal);

private:
    Outcome Keep(const JournalEntry& entry, const WriteFailure& failure);

    std::string journal_;
    std::vector<JournalEntry> inMemory_;  // kept where no pending file could be written
    bool behind_ = false;
};

// The platform's folder for the user's program state, kept between runs
// ($XDG_STATE_HOME/pumpdiag; %TEMP%\pumpdiag on Windows); empty when unknown.
std::string StateFolder();

}  // namespace report
