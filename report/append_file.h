// Appending a record to a shared text file so that it is written whole or not
// at all: the whole text goes out in one write to the file's end, under an
// exclusive lock held only for that write, so two programs appending at once
// never mix their lines.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace report {

// Given the file's last line when it has no line end (cut by a power loss,
// say), the text that ends it before a record follows.
using MendCutLine = std::function<std::string(std::string_view cutLine)>;

// Appends `record` (a whole line, its end included) to the file at `path`,
// made with `head` first when it is new or empty. Returns an empty text, or
// the system's reason for the failure.
std::string AppendRecord(const std::string& path, std::string_view head, std::string_view record,
                         const MendCutLine& mend);

// Makes the folder and the folders above it. Returns an empty text, or the
// system's reason for the failure.
std::string MakeFolders(const std::string& folder);

// The platform's part: the file opened for appending and locked against
// other appenders while the object lives. Every operation returns an empty
// text or the system's reason.
class LockedAppendFile {
public:
    virtual ~LockedAppendFile() = default;
    virtual std::string Size(std::uint64_t& size) = 0;
    // `count` bytes from `offset` into `bytes`.
    virtual std::string ReadAt(std::uint64_t offset, std::size_t count, std::string& bytes) = 0;
    // One write to the end; on a short write the file is put back to `size`.
    virtual std::string Append(std::string_view text, std::uint64_t size) = 0;
};
// Null with the reason in `failure` when the file cannot be opened or locked.
std::unique_ptr<LockedAppendFile> OpenLockedAppendFile(const std::string& path, std::string& failure);

}  // namespace report
