// Appending a record to a shared text file so that it is written whole or not
// at all: the whole text goes out in one write to the file's end, under an
// exclusive lock held only for that write, so two programs appending at once
// never mix their lines. Every failure comes back as what the user can do
// about it (WriteFault) with the system's reason.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace report {

// Why a file could not be written, as far as the remedy goes.
enum class WriteFault {
    None,
    HeldOpen,     // another program holds it open without sharing (Windows)
    NotWritable,  // the file or its folder may not be written
    Full,         // no room left on the disk
    Other,
};

struct WriteFailure {
    WriteFault fault = WriteFault::None;
    std::string reason;  // the system's text, or our own for HeldOpen
    bool Failed() const { return fault != WriteFault::None; }
};

// What the locked file holds where a record goes in.
struct AppendPoint {
    bool empty = true;
    std::string_view firstLine;  // its first line, line end included when there is one
    std::string_view cutLine;    // its last line when that has no line end (cut by a power loss, say)
};
// Given the file as it is, the whole text to append (a header for an empty
// file, the end of a cut line, the records). A non-empty `refusal` says why
// nothing may be appended to this file.
using ComposeAppend = std::function<std::string(const AppendPoint& at, std::string& refusal)>;

// Opens (creates) the file at `path`, locks it and appends what `compose`
// gives. A refusal comes back as WriteFault::Other.
WriteFailure AppendRecord(const std::string& path, const ComposeAppend& compose);

// Makes the folder and the folders above it.
WriteFailure CreateFolders(const std::string& folder);
// The same, with only the reason: empty when the folder is there.
std::string MakeFolders(const std::string& folder);

// The platform's part: the file opened for appending and locked against
// other appenders while the object lives.
class LockedAppendFile {
public:
    virtual ~LockedAppendFile() = default;
    virtual WriteFailure Size(std::uint64_t& size) = 0;
    // `count` bytes from `offset` into `bytes`.
    virtual WriteFailure ReadAt(std::uint64_t offset, std::size_t count, std::string& bytes) = 0;
    // One write to the end; on a short write the file is put back to `size`.
    virtual WriteFailure Append(std::string_view text, std::uint64_t size) = 0;
    // Cuts the file to `size` bytes.
    virtual WriteFailure Truncate(std::uint64_t size) = 0;
};
// Null with the reason in `failure` when the file cannot be opened or locked.
// Without `create`, a file that is not there is null with no failure.
std::unique_ptr<LockedAppendFile> OpenLockedAppendFile(const std::string& path, WriteFailure& failure,
                                                       bool create = true);

}  // namespace report
