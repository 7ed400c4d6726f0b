// Directory of files embedded in the executable file.
//
// The executable holds a 36-character marker text immediately followed by
// 8 bytes (unsigned 64-bit, little-endian): the file position of the first
// directory record, 0 when nothing is embedded. A record at position P holds
// the next record's position P2 (0 ends the list), the embedded file's data
// offset and size (all 8 bytes, little-endian), then the file's path relative
// to the executable's directory, filling the bytes up to P2. Our own build
// carries the marker with zero after it, so its directory is empty.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace localization {

struct TAssemblyFileInfo {
    std::uint64_t offset = 0;  // position of the file's first byte in the executable
    std::uint64_t size = 0;
};

struct TLocatedFile {
    std::string file;          // the file to open
    std::uint64_t offset = 0;  // where the wanted data starts in it
    std::uint64_t size = 0;    // 0 for a file of its own
};

class TAssemblyAnalyzer {
public:
    // Scans the given executable file. Never raises: an unreadable file, a
    // short read or a duplicate path ends the scan, keeping what was read.
    explicit TAssemblyAnalyzer(std::string executablePath);

    // The marker text, put together at run time so that the scanner's own
    // code holds no copy of it that a scan could find.
    static std::string MarkerText();

    bool MarkerFound() const { return markerFound_; }
    // The executable's directory with its trailing "/"; empty when nothing is embedded.
    const std::string& BaseDirectory() const { return baseDirectory_; }
    const std::string& ExecutablePath() const { return executablePath_; }
    std::size_t EntryCount() const { return entries_.size(); }

    bool HasEmbeddedFile(std::string_view path) const;
    TLocatedFile LocateFile(std::string_view path) const;

private:
    struct CaseInsensitiveLess {
        bool operator()(const std::string& a, const std::string& b) const;
    };
    void Scan();
    const TAssemblyFileInfo* Find(std::string_view path) const;

    std::string executablePath_;
    std::string baseDirectory_;
    bool markerFound_ = false;
    std::map<std::string, TAssemblyFileInfo, CaseInsensitiveLess> entries_;
};

}  // namespace localization
