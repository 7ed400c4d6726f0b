// Linux: the user's data folder and the package's data folder.
#include <cstdlib>
#include <filesystem>

#include "cli/command_line.h"
#include "cli/diagnosis_report.h"

namespace cli {

std::vector<std::string> HelpFolders() {
    std::vector<std::string> folders{"."};
    // A relative XDG_DATA_HOME is invalid and ignored, as the launcher does.
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    if (dataHome && dataHome[0] == '/') folders.push_back(std::string(dataHome) + "/pumpdiag");
    else if (home && home[0] == '/') folders.push_back(std::string(home) + "/.local/share/pumpdiag");
    // The package's data folder, beside the folder of the installed program:
    // its English texts first for a user whose language (the first of
    // LC_ALL, LC_MESSAGES and LANG that is set, as the launcher takes it) is
    // not Russian.
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return folders;
    const auto shipped = self.parent_path().parent_path() / "share" / "pumpdiag";
    std::string language;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"})
        if (const char* value = std::getenv(name); value && *value && language.empty()) language = value;
    if (!(language == "ru" || language.starts_with("ru_"))) folders.push_back((shipped / "en").string());
    folders.push_back(shipped.string());
    return folders;
}

std::string PortNamesUsage() { return "COMn (/dev/ttyS(n-1)), a name under /dev/ or a path"; }

std::string HelpFoldersUsage() {
    return "$XDG_DATA_HOME/pumpdiag (~/.local/share/pumpdiag), else in\n"
           "                  the package's data folder (/usr/share/pumpdiag)";
}

std::string JournalFolderUsage() { return "$XDG_DATA_HOME/pumpdiag (~/.local/share/pumpdiag)"; }

}  // namespace cli
