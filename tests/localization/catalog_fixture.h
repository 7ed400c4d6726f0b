// Catalog files for the localization tests: compiled by msgfmt from .po
// text, or written byte for byte (either byte order, or deliberately broken).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace testcat {

using Entries = std::vector<std::pair<std::string, std::string>>;  // source, translation

// A fresh directory under the system's temporary folder, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    // The path as text with a trailing "/".
    std::string Dir() const { return path_.string() + "/"; }

private:
    std::filesystem::path path_;
};

// .po text for entries, with a UTF-8 header entry first.
std::string PoText(const Entries& entries);
// Compiles po text with msgfmt into moPath (directories created); fails the
// calling test through a thrown std::runtime_error when msgfmt fails.
void CompileCatalog(const std::string& poText, const std::filesystem::path& moPath);
// <base>/<language>/LC_MESSAGES/<domain>.mo compiled from entries.
std::filesystem::path InstallCatalog(const std::filesystem::path& base, const std::string& language,
                                     const std::string& domain, const Entries& entries);

// The MO bytes for entries, sorted by source, in the machine's byte order or
// the opposite one; strings are zero-terminated.
std::string MoBytes(Entries entries, bool swapped);
// The 32-bit word at offset in mo bytes is replaced (in the file's byte order).
void PatchWord(std::string& mo, std::size_t offset, std::uint32_t value, bool swapped);

void WriteFile(const std::filesystem::path& path, const std::string& bytes);

// The message of the core::Exception that action raises, or "(nothing raised)".
std::string RaisedMessage(const std::function<void()>& action);

// "key0000", "key0001", ... with translations "value0000", ...
Entries NumberedEntries(int count);

}  // namespace testcat
