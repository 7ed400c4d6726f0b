#include "report/journal_keeper.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <utility>

#include "core/text/format.h"
#include "localization/gettext.h"
#include "report/user_folders.h"

namespace report {

namespace {

// A pending file holds the records of one streak or a few: one beyond this
// is no pending file of ours, and is left where it is.
constexpr std::uint64_t kMostPendingBytes = 16 * 1024 * 1024;

std::string Translated(const char* text) { return localization::TranslateUtf8(text); }

std::string NameOf(const std::string& path) { return path.substr(path.find_last_of("/\\") + 1); }

// A name for the journal's pending file away from it, the same in every run.
std::string PendingName(const std::string& journal) {
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (unsigned char c : journal) hash = (hash ^ c) * 1099511628211ull;
    char name[48];
    std::snprintf(name, sizeof name, "journal-%016llx.pending", static_cast<unsigned long long>(hash));
    return name;
}

// Seconds since 1970 of an ISO 8601 time with its zone; `otherwise` when it is none.
long long Instant(const std::string& iso, long long otherwise) {
    int y, mo, d, h, mi, s, zh = 0, zm = 0;
    char sign = '+';
    if (std::sscanf(iso.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c%2d:%2d", &y, &mo, &d, &h, &mi, &s, &sign, &zh, &zm) < 6)
        return otherwise;
    // Days from 1970-01-01 to the civil date (proleptic Gregorian).
    y -= mo <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (mo + (mo > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long days = era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
    const long long offset = (zh * 60 + zm) * 60 * (sign == '-' ? -1 : 1);
    return days * 86400 + h * 3600 + mi * 60 + s - offset;
}

// Records in the order of their times; one without a time stays after the one before it.
void InTimeOrder(std::vector<JournalEntry>& entries) {
    std::vector<std::pair<long long, JournalEntry>> timed;
    long long last = 0;
    for (JournalEntry& e : entries) {
        last = Instant(e.Field("time"), last);
        timed.emplace_back(last, std::move(e));
    }
    std::stable_sort(timed.begin(), timed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 0; i < timed.size(); ++i) entries[i] = std::move(timed[i].second);
}

// A pending file, locked while its records go into the journal.
struct HeldFile {
    std::unique_ptr<LockedAppendFile> file;
    std::vector<JournalEntry> entries;
};

bool Hold(const std::string& place, HeldFile& held) {
    WriteFailure failure;
    held.file = OpenLockedAppendFile(place, failure, false);
    std::uint64_t size = 0;
    std::string text;
    if (!held.file || held.file->Size(size).Failed() || size > kMostPendingBytes ||
        held.file->ReadAt(0, static_cast<std::size_t>(size), text).Failed())
        return false;
    held.entries = ParseJournal(text);
    return true;
}

std::string Remedy(WriteFault fault) {
    switch (fault) {
        case WriteFault::HeldOpen: return Translated("Close it in that program (a spreadsheet, say).");
        case WriteFault::NotWritable: return Translated("Make the journal and its folder writable.");
        case WriteFault::Full: return Translated("Free some space on its disk.");
        default: return "";
    }
}

}  // namespace

JournalKeeper::JournalKeeper(std::string journalPath) : journal_(std::move(journalPath)) {}

void JournalKeeper::SetPath(std::string journalPath) { journal_ = std::move(journalPath); }

std::vector<std::string> JournalKeeper::PendingPlaces(const std::string& journal) {
    std::vector<std::string> places;
    if (!journal.empty()) places.push_back(InFolder(FolderOf(journal), NameOf(journal) + ".pending"));
    for (const std::string& folder : {UserFolder(), StateFolder()})
        if (!folder.empty() && (journal.empty() || folder != FolderOf(journal)))
            places.push_back(InFolder(folder, PendingName(journal)));
    return places;
}

JournalKeeper::Outcome JournalKeeper::Record(const JournalEntry& entry) {
    if (journal_.empty()) return Keep(entry, {WriteFault::Other, Translated("the user's folder is not known")});
    // What was kept comes first, its pending files locked until it is in the journal.
    std::vector<HeldFile> held;
    std::vector<JournalEntry> all;
    for (const std::string& place : PendingPlaces(journal_)) {
        HeldFile file;
        if (!Hold(place, file)) continue;
        all.insert(all.end(), file.entries.begin(), file.entries.end());
        held.push_back(std::move(file));
    }
    all.insert(all.end(), inMemory_.begin(), inMemory_.end());
    InTimeOrder(all);
    const std::size_t kept = all.size();
    all.push_back(entry);
    const WriteFailure failure = AppendJournalEntries(journal_, all);
    if (failure.Failed()) {
        held.clear();  // the locks go before the record is added to a pending file
        return Keep(entry, failure);
    }
    for (HeldFile& file : held) file.file->Truncate(0);
    inMemory_.clear();
    behind_ = false;
    if (kept == 0) return {};
    return {"", core::FormatText(Translated("The journal can be written again: the records kept meanwhile (%d) are "
                                            "now in %s."),
                                 {static_cast<int>(kept), journal_})};
}

JournalKeeper::Outcome JournalKeeper::Keep(const JournalEntry& entry, const WriteFailure& failure) {
    std::string keptIn;
    for (const std::string& place : PendingPlaces(journal_)) {
        if (!AppendJournalEntries(place, {entry}).Failed()) {
            keptIn = place;
            break;
        }
    }
    if (keptIn.empty()) inMemory_.push_back(entry);
    const bool first = !behind_;
    behind_ = true;
    if (!first) return {};
    const std::string reason =
        failure.fault == WriteFault::HeldOpen ? Translated("it is open in another program") : failure.reason;
    std::string problem =
        core::FormatText(Translated("The journal %s cannot be written: %s."),
                         {journal_.empty() ? Translated("(no folder)") : journal_, reason});
    if (const std::string remedy = Remedy(failure.fault); !remedy.empty()) problem += "\n" + remedy;
    problem += "\n";
    problem += keptIn.empty()
                   ? Translated("Its records are kept in memory and go into the journal as soon as it can be written; "
                                "they are lost if the program ends first.")
                   : core::FormatText(Translated("Its records are kept in %s and go into the journal, in order, as "
                                                 "soon as it can be written."),
                                      {keptIn});
    return {problem, ""};
}

}  // namespace report
