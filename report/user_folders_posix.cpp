#include <cstdlib>
#include <string_view>

#include "core/platform/exception.h"
#include "core/platform/text_file.h"
#include "report/user_folders.h"

namespace report {

namespace {

std::string Absolute(const char* path) { return path && path[0] == '/' ? path : ""; }

std::string Home() { return Absolute(std::getenv("HOME")); }

// XDG_DOCUMENTS_DIR="$HOME/Documents" in user-dirs.dirs, as the desktop writes it.
std::string FromUserDirs(const std::string& home) {
    std::string configHome = Absolute(std::getenv("XDG_CONFIG_HOME"));
    if (configHome.empty()) configHome = home + "/.config";
    std::string text;
    try {
        text = core::ReadWholeTextFile(configHome + "/user-dirs.dirs");
    } catch (const core::Exception&) {
        return "";
    }
    constexpr std::string_view kKey = "XDG_DOCUMENTS_DIR=";
    for (std::string_view line : core::SplitLines(text)) {
        if (!line.starts_with(kKey)) continue;
        line.remove_prefix(kKey.size());
        if (line.size() < 2 || line.front() != '"' || line.back() != '"') return "";
        std::string value(line.substr(1, line.size() - 2));
        if (value.starts_with("$HOME")) value = home + value.substr(5);
        // The desktop's way of saying "no documents folder": the home itself.
        if (value.empty() || value[0] != '/' || value == home || value == home + "/") return "";
        return value;
    }
    return "";
}

}  // namespace

std::string UserFolder() {
    std::string dataHome = Absolute(std::getenv("XDG_DATA_HOME"));
    if (dataHome.empty() && !Home().empty()) dataHome = Home() + "/.local/share";
    return dataHome.empty() ? "" : dataHome + "/pumpdiag";
}

std::string DocumentsFolder() {
    const std::string home = Home();
    if (home.empty()) return "";
    const std::string named = FromUserDirs(home);
    return named.empty() ? home + "/Documents" : named;
}

std::string InFolder(const std::string& folder, const std::string& name) { return folder + "/" + name; }

}  // namespace report
