// Windows: the user's working folder of the program and the data folder the
// installer puts beside the program.
#include <windows.h>

#include "cli/command_line.h"
#include "cli/diagnosis_report.h"
#include "core/text/win32_text.h"
#include "localization/instance.h"

namespace cli {

std::vector<std::string> HelpFolders() {
    std::vector<std::string> folders{"."};
    wchar_t base[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", base, MAX_PATH);
    if (length > 0 && length < MAX_PATH) folders.push_back(core::NarrowText(std::wstring(base, length) + L"\\pumpdiag"));
    wchar_t path[MAX_PATH];
    const DWORD size = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (size > 0 && size < MAX_PATH) {
        const std::wstring self(path, size);
        const std::wstring shipped = self.substr(0, self.find_last_of(L'\\') + 1) + L"data";
        // The English texts first for a user whose language is not Russian.
        if (localization::SystemLanguageCode().rfind("ru", 0) != 0) folders.push_back(core::NarrowText(shipped + L"\\en"));
        folders.push_back(core::NarrowText(shipped));
    }
    return folders;
}

std::string PortNamesUsage() { return "COMn as the Device Manager shows it (COM1, COM10; \\\\.\\COM10 also works)"; }

std::string HelpFoldersUsage() {
    return "%LOCALAPPDATA%\\pumpdiag, else in the program's\n"
           "                  folder (data\\ beside pumpdiag-cli.exe)";
}

std::string JournalFolderUsage() { return "%LOCALAPPDATA%\\pumpdiag"; }

}  // namespace cli
