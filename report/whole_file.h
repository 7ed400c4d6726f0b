// Writing a file whole or not at all, as a report is: the bytes go into a new
// file beside it, flushed to the disk, which then takes the file's place in
// one step. When any step fails the new file is removed, and whatever stood
// under the name before stays as it was: a full disk leaves no empty or cut
// file behind.
#pragma once

#include <string>
#include <string_view>

namespace report {

// Raises core::EFCreateError naming `path` when the file cannot be written.
void WriteFileWhole(const std::string& path, std::string_view bytes);

// The platform's part (whole_file_posix.cpp, whole_file_win32.cpp). The
// operations return 0 or the failure as an errno code.
namespace whole_file {
// The path of `name` in the folder of `path`.
std::string Beside(const std::string& path, const std::string& name);
// Something that is no ordinary file and cannot be replaced (a terminal, a
// pipe, /dev/stdout): written in place instead. False when nothing is there.
bool IsDevice(const std::string& path);
// Makes `path`, never over anything there (EEXIST), and writes `bytes` into
// it, flushed to the disk.
int WriteNew(const std::string& path, std::string_view bytes);
// Puts the file `from` in the place of `to`, over a file there, in one step.
int Replace(const std::string& from, const std::string& to);
void Remove(const std::string& path);
}  // namespace whole_file

}  // namespace report
