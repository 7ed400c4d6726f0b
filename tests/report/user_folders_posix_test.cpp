// Where the reports go on Linux: the desktop's documents folder from
// user-dirs.dirs, else ~/Documents.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "report/user_folders.h"

namespace {

TEST(UserFolders, DocumentsFolderAsTheDesktopNamesIt) {
    const std::filesystem::path home = std::filesystem::temp_directory_path() / "pd_documents_home";
    std::filesystem::create_directories(home / ".config");
    struct Row {
        const char* dirs;  // user-dirs.dirs; null: none
        std::string folder;
    } rows[] = {
        {"XDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOCUMENTS_DIR=\"$HOME/Документы\"\n", home.string() + "/Документы"},
        {"# written by xdg-user-dirs-update\nXDG_DOCUMENTS_DIR=\"/srv/docs\"\n", "/srv/docs"},
        {"XDG_DOCUMENTS_DIR=\"$HOME/\"\n", home.string() + "/Documents"},  // the desktop's "none"
        {"XDG_DOCUMENTS_DIR=relative\n", home.string() + "/Documents"},
        {nullptr, home.string() + "/Documents"},
    };
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome ? oldHome : "";
    setenv("HOME", home.c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
    for (const Row& row : rows) {
        std::filesystem::remove(home / ".config" / "user-dirs.dirs");
        if (row.dirs) std::ofstream(home / ".config" / "user-dirs.dirs") << row.dirs;
        EXPECT_EQ(report::DocumentsFolder(), row.folder) << (row.dirs ? row.dirs : "no file");
    }
    setenv("HOME", savedHome.c_str(), 1);
    std::filesystem::remove_all(home);
}

}  // namespace
