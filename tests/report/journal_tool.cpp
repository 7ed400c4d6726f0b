// A test program of the journal and the report: appends records to a journal
// as the programs do, or writes a report of a made-up diagnosis, so that tests
// can run several at once and read the files with parsers of their own.
//   journal_tool append PATH COUNT TAG [SERIAL]
//   journal_tool report OUT FAULTS [erased|kept [ORIGINAL_NUMBER]]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "localization/runtime.h"
#include "report/journal.h"
#include "report/report_file.h"
#include "report/report_html.h"

namespace {

report::Diagnosis MadeUp(const std::string& port, const std::string& serial) {
    report::Diagnosis d;
    d.time = report::Now();
    d.port = port;
    d.identified = true;
    // A quote, the separator, a line end and Cyrillic: each must come back as written.
    d.identification = {"0 470 \"506\"; 917", "PU4471\r\n0218", "Оригинальный;№ 4B1907401S", serial};
    d.version = report::ProgramVersion();
    return d;
}

int Append(const std::string& path, int count, const std::string& tag, const std::string& serial) {
    report::Diagnosis d = MadeUp(tag, serial);
    d.faults.done = true;
    for (int i = 0; i < count; ++i) {
        d.faults.faults = {{0x53, i, ""}};
        d.version = std::to_string(i);
        const std::string failure = report::AppendToJournal(path, report::JournalEvent::FaultRead, d, report::Now());
        if (!failure.empty()) {
            std::fprintf(stderr, "%s\n", failure.c_str());
            return 1;
        }
    }
    return 0;
}

// The longest a page has to hold: every fault code, each with a help paragraph
// beyond the longest printed.
int Report(const std::string& out, int faults, bool erased, const char* original) {
    report::Diagnosis d = MadeUp("COM12", "VR1708512 3470");
    if (original) d.identification[report::kOriginalNumber] = original;
    d.faults.done = true;
    std::string help;
    while (help.size() < 2 * 2 * report::kMostHelpChars) help += "Проверьте проводку и разъёмы насоса; ";
    for (int i = 0; i < faults; ++i) d.faults.faults.push_back({0x50 + i, 250 - i, help});
    d.erased = erased;
    d.erasedAt = report::Now();
    // An erase the pump did not take: every fault is read again after it.
    d.afterErase = d.faults;
    d.afterErase.done = erased;
    if (!erased) d.afterErase.faults.clear();
    try {
        // In the user's language, from the catalogs beside this program.
        const localization::RuntimeScope language;
        report::WriteReport(d, out);
    } catch (...) {
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "append" && argc >= 5) return Append(argv[2], std::atoi(argv[3]), argv[4], argc > 5 ? argv[5] : "VR1708512 3470");
    if (command == "report" && argc >= 4)
        return Report(argv[2], std::atoi(argv[3]), argc > 4 && std::string(argv[4]) == "erased", argc > 5 ? argv[5] : nullptr);
    std::fprintf(stderr, "usage: journal_tool append PATH COUNT TAG [SERIAL] | report OUT FAULTS [erased|kept [ORIGINAL]]\n");
    return 2;
}
