// Where the journal, the report settings and the reports go. The user's folder
// is the program's working folder ($XDG_DATA_HOME/pumpdiag, by default
// ~/.local/share/pumpdiag; %LOCALAPPDATA%\pumpdiag on Windows); the reports go
// to a visible one, "Pump diagnostics" in the user's documents folder.
#pragma once

#include <string>

namespace report {

// Empty when the platform names no such folder (no HOME, say).
std::string UserFolder();
std::string DocumentsFolder();

// Joins a folder and a name with the platform's separator.
std::string InFolder(const std::string& folder, const std::string& name);
// The folder part of `path` (either separator), the whole path when it has none.
inline std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of("/\\")); }

inline constexpr const char* kReportsSubfolder = "Pump diagnostics";
inline constexpr const char* kJournalName = "journal.csv";
inline constexpr const char* kSettingsName = "report.ini";

}  // namespace report
