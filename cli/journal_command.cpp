#include "cli/journal_command.h"

#include <cstdio>
#include <filesystem>

#include "cli/exit_codes.h"
#include "trace/json.h"
#include "cli/terminal_text.h"
#include "core/platform/exception.h"
#include "report/journal.h"

namespace cli {

namespace {

std::string EntryJson(const report::JournalEntry& entry) {
    std::string json = "{";
    for (std::size_t i = 0; i < report::kJournalFieldCount; ++i)
        json += std::string(i ? "," : "") + "\"" + report::kJournalFields[i] + "\":" + JsonString(entry.fields[i]);
    return json + ",\"cut\":" + (entry.cut ? "true" : "false") + "}";
}

std::string EntryText(const report::JournalEntry& e) {
    auto f = [&e](const char* column) { return ForTerminal(e.Field(column)); };
    std::string text = f("time") + "  " + f("event") + "  " + f("port") + "\n  serial " + f("serial_number") +
                       ", Bosch " + f("bosch_number") + ", Id " + f("id_number") + ", original " +
                       f("original_number") + "\n";
    if (!e.Field("faults").empty()) text += "  faults: " + f("faults") + "\n";
    text += "  erased: " + f("erased") + ", program " + f("version") + "\n";
    return e.cut ? "(record cut short) " + text : text;
}

}  // namespace

int ListJournal(const JournalOptions& options, std::ostream& out, std::ostream& err) {
    std::error_code missing;
    if (!std::filesystem::exists(std::filesystem::u8path(options.path), missing)) {
        err << "pumpdiag-cli: no journal yet (" << options.path << ")\n";
        if (options.json) out << "[]\n";
        else err << "no records\n";
        return kExitOk;
    }
    // Record by record, as the file is read: a journal of any length.
    std::size_t shown = 0;
    int code = kExitOk;
    if (options.json) out << "[";
    try {
        report::JournalReader reader(options.path);
        for (report::JournalEntry entry; reader.Next(entry);) {
            if (!options.serial.empty() && !report::SerialMatches(entry, options.serial)) continue;
            if (!options.since.empty() && !report::SinceMatches(entry, options.since)) continue;
            if (options.json) out << (shown ? ",\n" : "") << EntryJson(entry);
            else out << EntryText(entry);
            ++shown;
        }
    } catch (const core::Exception& e) {
        err << "pumpdiag-cli: " << e.Message() << "\n";
        code = kExitFile;
    }
    if (options.json) out << "]\n";
    else if (shown == 0 && code == kExitOk) err << "no records\n";
    return code;
}

}  // namespace cli
