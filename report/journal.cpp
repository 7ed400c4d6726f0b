#include "report/journal.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include <unistd.h>

#include "core/platform/builtin_text.h"
#include "core/platform/exception.h"
#include "core/platform/file_open.h"
#include "core/text/format.h"
#include "localization/gettext.h"
#include "report/append_file.h"
#include "report/csv.h"
#include "report/user_folders.h"

namespace report {

namespace {

const char* EventName(JournalEvent event) {
    switch (event) {
        case JournalEvent::Identification: return "identification";
        case JournalEvent::FaultRead: return "fault read";
        default: return "erase";
    }
}

std::string FaultsField(const FaultRead& read) {
    if (!read.done) return "";
    if (read.faults.empty()) return "no faults";
    std::string text;
    for (const Fault& f : read.faults) {
        char item[32];
        std::snprintf(item, sizeof item, "%s%02X:%d", text.empty() ? "" : " ", static_cast<unsigned>(f.code),
                      f.counter);
        text += item;
    }
    return text;
}

std::string Header() {
    return "\xEF\xBB\xBF" + CsvLine(std::vector<std::string>(std::begin(kJournalColumns), std::end(kJournalColumns)));
}

// Every byte of the file: a power loss may leave zero bytes where a record was
// going, and the records appended after them are read all the same.
std::string ReadAllBytes(const std::string& path) {
    const int fd = core::OpenFileForReading(path);
    if (fd < 0) throw core::EFOpenError(core::FormatText(core::LoadBuiltInText(&core::SFOpenError), {path}));
    std::string bytes;
    char chunk[65536];
    long got;
    while ((got = ::read(fd, chunk, sizeof chunk)) > 0) bytes.append(chunk, static_cast<std::size_t>(got));
    ::close(fd);
    if (got < 0) throw core::EFOpenError(core::FormatText(core::LoadBuiltInText(&core::SFOpenError), {path}));
    return bytes;
}

// A cut record is ended where it stops; a quote left open is closed first, so
// that no reader takes the next record into the cut field.
std::string EndCutRecord(std::string_view cutLine) {
    const bool quoteOpen = std::count(cutLine.begin(), cutLine.end(), '"') % 2 != 0;
    return quoteOpen ? "\"\r\n" : "\r\n";
}

// Each record one line: a line end inside a field becomes a space.
std::string OneLine(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    return text;
}

std::string Folded(const std::string& text) {
    std::string folded;
    for (char c : text)
        if (c != ' ') folded += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return folded;
}

}  // namespace

std::string JournalPath() {
    const std::string folder = UserFolder();
    return folder.empty() ? "" : InFolder(folder, kJournalName);
}

std::string JournalLine(JournalEvent event, const Diagnosis& d, const LocalTime& time) {
    // The erase names what it erased; a read after it, what was left.
    const FaultRead& faults = event == JournalEvent::FaultRead && d.erased ? d.afterErase : d.faults;
    std::vector<std::string> fields{IsoText(time), EventName(event), OneLine(d.port)};
    for (const std::string& text : d.identification) fields.push_back(OneLine(text));
    fields.push_back(event == JournalEvent::Identification ? "" : FaultsField(faults));
    fields.push_back(d.erased ? "yes" : "no");
    fields.push_back(OneLine(d.version));
    return CsvLine(fields);
}

std::string AppendToJournal(const std::string& path, JournalEvent event, const Diagnosis& d, const LocalTime& time) {
    if (path.empty()) return localization::TranslateUtf8("The journal has no folder: the user's folder is not known.");
    const std::string folder = path.substr(0, path.find_last_of("/\\"));
    std::string reason = MakeFolders(folder);
    if (reason.empty()) reason = AppendRecord(path, Header(), JournalLine(event, d, time), EndCutRecord);
    if (reason.empty()) return "";
    return core::FormatText(localization::TranslateUtf8("The journal in the folder %s cannot be written: %s"),
                            {folder, reason});
}

const std::string& JournalEntry::Field(const char* column) const {
    static const std::string kNone;
    for (std::size_t i = 0; i < kJournalColumnCount && i < fields.size(); ++i)
        if (std::string_view(kJournalColumns[i]) == column) return fields[i];
    return kNone;
}

std::vector<JournalEntry> ReadJournal(const std::string& path) {
    std::vector<JournalEntry> entries;
    bool first = true;
    for (CsvRow& row : ParseCsv(ReadAllBytes(path))) {
        const bool header = first && !row.fields.empty() && row.fields[0] == kJournalColumns[0];
        first = false;
        if (header || (row.fields.size() == 1 && row.fields[0].empty())) continue;
        JournalEntry entry;
        entry.cut = !row.complete || row.fields.size() < kJournalColumnCount;
        entry.fields = std::move(row.fields);
        entry.fields.resize(std::max(entry.fields.size(), kJournalColumnCount));
        entries.push_back(std::move(entry));
    }
    return entries;
}

bool SerialMatches(const JournalEntry& entry, const std::string& serial) {
    const std::string& field = entry.Field("serial_number");
    const std::string wanted = Folded(serial);
    if (wanted.empty()) return false;
    return Folded(field) == wanted || Folded(field.substr(0, field.find(' '))) == wanted;
}

bool SinceMatches(const JournalEntry& entry, const std::string& date) {
    // ISO times sort as text; a cut time does not pass.
    const std::string& time = entry.Field("time");
    return time.size() >= 10 && time.substr(0, 10) >= date;
}

}  // namespace report
