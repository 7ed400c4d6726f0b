// What a headless diagnosis found, and its two forms: text for a person and
// one JSON object for a script.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "cli/headless_window.h"
#include "trace/link_failure.h"

namespace cli {

struct FaultEntry {
    int code = 0;
    int counter = -1;   // from the button's hint; -1 when the hint holds no number
    std::string hint;   // the hint text as the window shows it
    std::string help;   // first line of the fault's help file, empty without the file
};

struct FaultList {
    bool read = false;
    bool noneFound = false;  // the window's "no faults found" text is shown
    std::vector<FaultEntry> faults;
};

struct DiagnosisReport {
    std::string port;
    bool identified = false;
    // As the window places them: Bosch number, Id number, original number, serial number.
    std::array<std::string, 4> identification;
    FaultList faults;
    bool clearRequested = false;
    bool cleared = false;
    FaultList afterClear;
    std::string missingStep;  // empty, or synchronisation, block, link, identification
    std::string error;
    std::string noRealTime;  // why the line ran without real-time priority; empty when it did not
    LinkFailure failure;     // why the link failed, as the line shows it; none on success
};

// The identification and the fault display as the window shows them now;
// help texts are read from <CODE>.txt (see HelpFolders).
void TakeIdentification(const Display& display, DiagnosisReport& report);
FaultList TakeFaults(const Display& display);

// Where help files are looked for, in order: the working folder, the user's
// folder, the program's data folder. Linux: $XDG_DATA_HOME/pumpdiag
// (~/.local/share/pumpdiag by default) and ../share/pumpdiag from the
// program's folder; Windows: %LOCALAPPDATA%\pumpdiag and data\ beside the
// program (help_folders_*.cpp).
std::vector<std::string> HelpFolders();

// The first help file of `code` found (decoded as users save them,
// core/text/user_text.h), as UTF-8; empty when there is none.
std::string HelpText(int code);
// The first line with text of the first help file of `code` found (decoded
// as users save them), as UTF-8; empty when there is none.
std::string HelpFirstLine(int code);

std::string IdentificationText(const DiagnosisReport& report);
std::string FaultsText(const FaultList& list);
// "Link failed (cause): sentence", a line; empty without a failure.
std::string FailureText(const LinkFailure& failure);
std::string ReportJson(const DiagnosisReport& report);

}  // namespace cli
