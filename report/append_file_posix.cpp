#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "report/append_file.h"

namespace report {

namespace {

// Every errno of this file becomes a failure here, with its remedy's kind.
WriteFailure Failure(int code) {
    WriteFault fault = WriteFault::Other;
    switch (code) {
        case EACCES:
        case EPERM:
        case EROFS: fault = WriteFault::NotWritable; break;
        case ENOSPC:
        case EDQUOT:
        case EFBIG: fault = WriteFault::Full; break;
        default: break;
    }
    return {fault, std::strerror(code)};
}

class PosixAppendFile final : public LockedAppendFile {
public:
    explicit PosixAppendFile(int fd) : fd_(fd) {}
    // Closing lets go of the lock.
    ~PosixAppendFile() override { ::close(fd_); }

    WriteFailure Size(std::uint64_t& size) override {
        struct stat st{};
        if (::fstat(fd_, &st) != 0) return Failure(errno);
        if (!S_ISREG(st.st_mode)) return Failure(EINVAL);
        size = static_cast<std::uint64_t>(st.st_size);
        return {};
    }
    WriteFailure ReadAt(std::uint64_t offset, std::size_t count, std::string& bytes) override {
        bytes.resize(count);
        const ssize_t got = ::pread(fd_, bytes.data(), count, static_cast<off_t>(offset));
        if (got < 0) return Failure(errno);
        if (static_cast<std::size_t>(got) != count) return Failure(EIO);
        return {};
    }
    WriteFailure Append(std::string_view text, std::uint64_t size) override {
        const ssize_t written = ::write(fd_, text.data(), text.size());
        if (written == static_cast<ssize_t>(text.size())) return {};
        const int code = written < 0 ? errno : ENOSPC;
        // A part of a record is taken back: the record is whole or absent.
        if (written > 0 && ::ftruncate(fd_, static_cast<off_t>(size)) != 0) return Failure(errno);
        return Failure(code);
    }
    WriteFailure Truncate(std::uint64_t size) override {
        return ::ftruncate(fd_, static_cast<off_t>(size)) == 0 ? WriteFailure{} : Failure(errno);
    }

private:
    int fd_;
};

}  // namespace

std::unique_ptr<LockedAppendFile> OpenLockedAppendFile(const std::string& path, WriteFailure& failure, bool create) {
    // O_APPEND: every write goes to the end as it is then, whoever wrote last.
    const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CLOEXEC | O_NOCTTY | (create ? O_CREAT : 0), 0644);
    if (fd < 0) {
        failure = !create && errno == ENOENT ? WriteFailure{} : Failure(errno);
        return nullptr;
    }
    auto file = std::make_unique<PosixAppendFile>(fd);
    int locked;
    while ((locked = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (locked != 0) {
        failure = Failure(errno);
        return nullptr;
    }
    return file;
}

WriteFailure CreateFolders(const std::string& folder) {
    for (std::size_t slash = 0;;) {
        slash = folder.find('/', slash + 1);
        const std::string part = folder.substr(0, slash);
        if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return Failure(errno);
        if (slash == std::string::npos) break;
    }
    struct stat st{};
    if (::stat(folder.c_str(), &st) != 0) return Failure(errno);
    return S_ISDIR(st.st_mode) ? WriteFailure{} : Failure(ENOTDIR);
}

}  // namespace report
