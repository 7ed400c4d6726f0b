#include "core/platform/file_failure.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "core/platform/builtin_text.h"
#include "core/text/format.h"
#include "core/text/short_text.h"

namespace core {

namespace {

namespace fs = std::filesystem;

// Long enough for C:\Users\<name>\AppData\Local\pumpdiag, short enough for a box.
constexpr std::size_t kFolderChars = 80;

fs::path PathOf(const std::string& utf8) {
    return fs::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

std::string Utf8Of(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

const BuiltInText* ReasonOf(const fs::path& path, const fs::path& folder, int error, bool creating) {
    std::error_code ignored;
    // A folder refuses opening as a file in more than one way (EISDIR,
    // EACCES on Windows), or opens and is then refused as no ordinary file.
    if (fs::is_directory(path, ignored)) return &SIsAFolder;
    if (error == 0) return &SNotAFile;
    if (error == EACCES || error == EPERM) return &SAccessDenied;
    if (error == ENOENT || error == ENOTDIR)
        return creating || !fs::is_directory(folder, ignored) ? &SNoSuchFolder : &SNoSuchFile;
    return nullptr;
}

fs::path FolderOf(const fs::path& path) {
    std::error_code failed;
    fs::path folder = fs::absolute(path, failed).parent_path();
    if (failed) folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
    return folder;
}

}  // namespace

std::string FolderOfFile(const std::string& name) { return ShortenedStart(Utf8Of(FolderOf(PathOf(name))), kFolderChars); }

std::string FileFailureLine(const std::string& name, int error, bool creating) {
    const fs::path path = PathOf(name);
    const BuiltInText* reason = ReasonOf(path, FolderOf(path), error, creating);
    return FormatText(LoadBuiltInText(&SFileInFolder),
                      {FolderOfFile(name), reason ? LoadBuiltInText(reason) : std::string(std::strerror(error))});
}

std::string FileErrorMessage(const std::string& firstLine, const std::string& name, int error, bool creating) {
    // The file error must stay the file error, whatever its second line meets.
    try {
        return WithFinalPeriod(firstLine) + "\n" + FileFailureLine(name, error, creating);
    } catch (...) {
        return firstLine;
    }
}

}  // namespace core
