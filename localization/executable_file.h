// The running program's own file, for the scanner of embedded files: its
// path, where the loader took a variable of the program from, and reading it
// at positions. The platform's files: ELF and descriptors on POSIX, PE and
// file handles on Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace localization {

// The running program's file, with "/" between folders on every platform;
// empty when the system does not say.
std::string OwnExecutablePath();

// Where in the running program's file the loader took the `size` bytes at
// `address` from, or -1.
long long OwnFilePosition(const void* address, std::size_t size);

class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const std::string& path);
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    bool IsOpen() const;
    std::uint64_t Size() const;
    // Reads exactly count bytes at position; false on a short read or an error.
    bool ReadAt(std::uint64_t position, void* out, std::size_t count) const;
    // Position of the first occurrence of pattern, or -1.
    long long Find(std::string_view pattern) const;

private:
    // Reads up to count bytes at position: the number read, 0 at the end, -1 on an error.
    long long ReadSome(std::uint64_t position, void* out, std::size_t count) const;

    std::intptr_t file_;  // descriptor or handle
};

}  // namespace localization
