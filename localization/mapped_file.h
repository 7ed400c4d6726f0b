// A catalog file opened and mapped read-only into memory, whole. The
// platform's files: POSIX descriptors and mmap, or Windows file and mapping
// handles. Names are UTF-8.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace localization {

// The folder name with "/" added when it lacks a separator at its end (on
// Windows "\\" counts as one; the program names its files with "/" there too).
std::string WithFolderSeparator(std::string_view folder);

// The folder part of a path, up to and with its last separator; empty when
// it has none.
std::string FolderOf(const std::string& path);

// True when `path` names a regular file: a FIFO or a device could block or
// never end.
bool IsRegularFile(const std::string& path);

class MappedFile {
public:
    MappedFile() = default;
    ~MappedFile() { Close(); }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // Opens the file for reading; false when it cannot be opened.
    bool Open(const std::string& path);
    // The size of the open file, nothing when it is not a regular file.
    std::optional<std::uint64_t> RegularFileSize() const;
    // Maps the whole open file; on failure false with the system's reason.
    bool Map(std::string& reason);
    const unsigned char* Data() const { return static_cast<const unsigned char*>(view_); }
    // Unmaps and closes; nothing when nothing is open.
    void Close();

private:
    std::intptr_t file_ = -1;     // descriptor or handle
    [[maybe_unused]] std::intptr_t mapping_ = -1;  // the Windows mapping object; unused on POSIX
    void* view_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace localization
