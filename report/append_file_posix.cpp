#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "report/append_file.h"

namespace report {

namespace {

std::string Reason(int code) { return std::strerror(code); }

class PosixAppendFile final : public LockedAppendFile {
public:
    explicit PosixAppendFile(int fd) : fd_(fd) {}
    // Closing lets go of the lock.
    ~PosixAppendFile() override { ::close(fd_); }

    std::string Size(std::uint64_t& size) override {
        struct stat st{};
        if (::fstat(fd_, &st) != 0) return Reason(errno);
        if (!S_ISREG(st.st_mode)) return Reason(EINVAL);
        size = static_cast<std::uint64_t>(st.st_size);
        return {};
    }
    std::string ReadAt(std::uint64_t offset, std::size_t count, std::string& bytes) override {
        bytes.resize(count);
        const ssize_t got = ::pread(fd_, bytes.data(), count, static_cast<off_t>(offset));
        if (got < 0) return Reason(errno);
        if (static_cast<std::size_t>(got) != count) return Reason(EIO);
        return {};
    }
    std::string Append(std::string_view text, std::uint64_t size) override {
        const ssize_t written = ::write(fd_, text.data(), text.size());
        if (written == static_cast<ssize_t>(text.size())) return {};
        const int code = written < 0 ? errno : ENOSPC;
        // A part of a record is taken back: the record is whole or absent.
        if (written > 0 && ::ftruncate(fd_, static_cast<off_t>(size)) != 0) return Reason(errno);
        return Reason(code);
    }

private:
    int fd_;
};

}  // namespace

std::unique_ptr<LockedAppendFile> OpenLockedAppendFile(const std::string& path, std::string& failure) {
    // O_APPEND: every write goes to the end as it is then, whoever wrote last.
    const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd < 0) {
        failure = Reason(errno);
        return nullptr;
    }
    auto file = std::make_unique<PosixAppendFile>(fd);
    int locked;
    while ((locked = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (locked != 0) {
        failure = Reason(errno);
        return nullptr;
    }
    return file;
}

std::string MakeFolders(const std::string& folder) {
    for (std::size_t slash = 0;;) {
        slash = folder.find('/', slash + 1);
        const std::string part = folder.substr(0, slash);
        if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return Reason(errno);
        if (slash == std::string::npos) break;
    }
    struct stat st{};
    if (::stat(folder.c_str(), &st) != 0) return Reason(errno);
    return S_ISDIR(st.st_mode) ? std::string() : Reason(ENOTDIR);
}

}  // namespace report
