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
#include "report/user_folders.h"

namespace report {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

const char* EventName(JournalEvent event) {
    switch (event) {
        case JournalEvent::Identification: return "identification";
        case JournalEvent::FaultRead: return "fault read";
        case JournalEvent::LinkFailed: return "link failed";
        case JournalEvent::AdapterRemoved: return "adapter removed";
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

std::string FileOpenMessage(const std::string& path) {
    return core::FormatText(core::LoadBuiltInText(&core::SFOpenError), {path});
}

// The lines of `entries` as the file at `at` takes them: its layout, its
// separator, its line end. A new file gets a byte-order mark and the header.
std::string JournalText(const AppendPoint& at, const std::vector<JournalEntry>& entries, std::string& refusal) {
    const JournalLayout current = JournalLayout::Current();
    const std::string header = std::string(kByteOrderMark) + CsvLine(current.Columns());
    std::string text;
    JournalLayout layout = current;
    char separator = kCsvSeparator;
    bool crlf = true;
    if (at.empty) {
        text = header;
    } else if (!at.firstLine.ends_with('\n')) {
        // The header alone, cut while the file was made: it is finished.
        if (!header.starts_with(at.firstLine)) {
            refusal = localization::TranslateUtf8("its first line is not the journal's header");
            return "";
        }
        text = header.substr(at.firstLine.size());
    } else {
        const std::vector<CsvRow> head = ParseCsv(at.firstLine);
        if (head.empty() || !JournalLayout::FromHeader(head[0].fields, layout)) {
            refusal = localization::TranslateUtf8("its first line is not the journal's header");
            return "";
        }
        separator = CsvReader(TextSource(at.firstLine)).Separator();
        crlf = at.firstLine.ends_with("\r\n");
        // A cut record is ended where it stops; a quote left open is closed
        // first, so that no reader takes the next record into the cut field.
        if (!at.cutLine.empty())
            text = std::string(std::count(at.cutLine.begin(), at.cutLine.end(), '"') % 2 != 0 ? "\"" : "") +
                   (crlf ? "\r\n" : "\n");
    }
    for (const JournalEntry& entry : entries) {
        std::string line = CsvLine(layout.Row(entry), separator);
        if (!crlf) line.erase(line.size() - 2, 1);
        text += line;
    }
    return text;
}

std::vector<JournalEntry> AllOf(JournalReader& reader) {
    std::vector<JournalEntry> entries;
    for (JournalEntry entry; reader.Next(entry);) entries.push_back(std::move(entry));
    return entries;
}

}  // namespace

std::string JournalPath() {
    const std::string folder = UserFolder();
    return folder.empty() ? "" : InFolder(folder, kJournalName);
}

JournalEntry JournalRecord(JournalEvent event, const Diagnosis& d, const LocalTime& time) {
    // The erase names what it erased; a read after it, what was left.
    const FaultRead& faults = event == JournalEvent::FaultRead && d.erased ? d.afterErase : d.faults;
    JournalEntry e;
    e.Field("time") = IsoText(time);
    e.Field("event") = event == JournalEvent::LinkFailed
                           ? OneLine(std::string(EventName(event)) + " (" + d.failureCause + "): " + d.failureText)
                           : EventName(event);
    e.Field("port") = OneLine(d.port);
    e.Field("bosch_number") = OneLine(d.identification[kBoschNumber]);
    e.Field("id_number") = OneLine(d.identification[kIdNumber]);
    e.Field("original_number") = OneLine(d.identification[kOriginalNumber]);
    e.Field("serial_number") = OneLine(d.identification[kSerialNumber]);
    const bool withFaults = event == JournalEvent::FaultRead || event == JournalEvent::Erase;
    e.Field("faults") = withFaults ? FaultsField(faults) : "";
    e.Field("erased") = d.erased ? "yes" : "no";
    e.Field("version") = OneLine(d.version);
    return e;
}

WriteFailure AppendJournalEntries(const std::string& path, const std::vector<JournalEntry>& entries) {
    if (const WriteFailure made = CreateFolders(FolderOf(path)); made.Failed()) return made;
    return AppendRecord(path, [&entries](const AppendPoint& at, std::string& refusal) {
        return JournalText(at, entries, refusal);
    });
}

std::string AppendToJournal(const std::string& path, JournalEvent event, const Diagnosis& d, const LocalTime& time) {
    if (path.empty()) return localization::TranslateUtf8("The journal has no folder: the user's folder is not known.");
    const WriteFailure failure = AppendJournalEntries(path, {JournalRecord(event, d, time)});
    if (!failure.Failed()) return "";
    return core::FormatText(localization::TranslateUtf8("The journal in the folder %s cannot be written: %s"),
                            {FolderOf(path), failure.reason});
}

JournalReader::File::File(const std::string& name) : path(name), fd(core::OpenFileForReading(name)) {
    if (fd < 0) throw core::EFOpenError(FileOpenMessage(path));
}

JournalReader::File::~File() { ::close(fd); }

JournalReader::JournalReader(const std::string& path)
    : file_(std::make_unique<File>(path)), csv_([file = file_.get()](char* into, std::size_t room) -> std::size_t {
          // Every byte of the file: a power loss may leave zero bytes where a
          // record was going, and the records appended after them are read all the same.
          const long got = ::read(file->fd, into, static_cast<unsigned>(room));
          if (got < 0) throw core::EFOpenError(FileOpenMessage(file->path));
          return static_cast<std::size_t>(got);
      }) {}

JournalReader::JournalReader(CsvReader::Source source) : csv_(std::move(source)) {}

bool JournalReader::Next(JournalEntry& entry) {
    while (csv_.Next(row_)) {
        if (std::all_of(row_.fields.begin(), row_.fields.end(), [](const std::string& f) { return f.empty(); }))
            continue;  // a blank line, or one a spreadsheet left of separators only
        if (first_) {
            first_ = false;
            if (JournalLayout::FromHeader(row_.fields, layout_)) continue;
            layout_ = JournalLayout::Guessed(row_.fields.size());
        }
        entry = layout_.Entry(row_);
        return true;
    }
    return false;
}

std::vector<JournalEntry> ReadJournal(const std::string& path) {
    JournalReader reader(path);
    return AllOf(reader);
}

std::vector<JournalEntry> ParseJournal(std::string_view text) {
    JournalReader reader(TextSource(text));
    return AllOf(reader);
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
