// Replacing a settings file on POSIX: a temporary file beside it, then rename.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/stores/store_file.h"

namespace core {

namespace {

struct Fd {
    int fd;
    ~Fd() { if (fd >= 0) ::close(fd); }
};

bool WriteAll(int fd, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The file a write must replace: the target of a symbolic link, so that the
// link itself survives.
std::string ResolveTarget(const std::string& name) {
    char resolved[PATH_MAX];
    struct stat st{};
    if (::lstat(name.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && ::realpath(name.c_str(), resolved))
        return resolved;
    return name;
}

}  // namespace

bool ReplaceStoreFile(const std::string& name, std::string_view bytes) {
    if (name.empty()) return false;
    const std::string target = ResolveTarget(name);
    struct stat old{};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) return false;
    // Replacing a file the user may not write would sidestep its protection.
    if (exists && ::access(target.c_str(), W_OK) != 0) return false;

    std::string pattern = target + ".XXXXXX";
    std::vector<char> temp(pattern.begin(), pattern.end());
    temp.push_back('\0');
    Fd file{::mkstemp(temp.data())};
    if (file.fd < 0) return false;
    const mode_t mode = exists ? (old.st_mode & 07777) : 0644;
    bool ok = ::fchmod(file.fd, mode) == 0 && WriteAll(file.fd, bytes);
    int fd = file.fd;
    file.fd = -1;
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = ::rename(temp.data(), target.c_str()) == 0;
    if (!ok) ::unlink(temp.data());
    return ok;
}

}  // namespace core
