#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "report/append_file.h"

namespace report {

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

std::string Reason(int code) { return std::strerror(code); }

}  // namespace

std::string AppendRecord(const std::string& path, std::string_view head, std::string_view record) {
    const Descriptor file(::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644));
    if (file.get() < 0) return Reason(errno);
    int locked;
    while ((locked = ::flock(file.get(), LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (locked != 0) return Reason(errno);
    struct stat st{};
    if (::fstat(file.get(), &st) != 0) return Reason(errno);
    if (!S_ISREG(st.st_mode)) return Reason(EINVAL);
    std::string text;
    if (st.st_size == 0) {
        text = head;
    } else {
        char last = '\n';
        if (::pread(file.get(), &last, 1, st.st_size - 1) != 1) return Reason(errno ? errno : EIO);
        if (last != '\n') text = "\r\n";
    }
    text += record;
    const ssize_t written = ::write(file.get(), text.data(), text.size());
    if (written == static_cast<ssize_t>(text.size())) return {};
    const int code = written < 0 ? errno : ENOSPC;
    // A part of a record is taken back: the record is whole or absent.
    if (written > 0 && ::ftruncate(file.get(), st.st_size) != 0) return Reason(errno);
    return Reason(code);
}

std::string MakeFolders(const std::string& folder) {
    for (std::size_t slash = 0;; ) {
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
