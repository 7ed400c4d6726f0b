// pumpdiag-cli journal: the journal's records, filtered by serial number or
// day, as text for a person or one JSON array for a script.
#pragma once

#include <ostream>
#include <string>

namespace cli {

struct JournalOptions {
    std::string path;    // the journal file
    std::string serial;  // empty: every pump
    std::string since;   // YYYY-MM-DD; empty: from the first record
    bool json = false;
};

// Returns the exit code: kExitFile when the journal exists but cannot be read.
int ListJournal(const JournalOptions& options, std::ostream& out, std::ostream& err);

}  // namespace cli
