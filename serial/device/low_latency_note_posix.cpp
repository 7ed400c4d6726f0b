#include "serial/device/low_latency_note.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace serial::device {

namespace {
constexpr std::size_t kMaxNote = 64;
}

std::string LatencyNotePath(const std::string& runtimeDir, const std::string& ttyName) {
    std::string dir = runtimeDir;
    if (dir.empty()) {
        const char* xdg = std::getenv("XDG_RUNTIME_DIR");
        std::error_code error;
        dir = xdg && *xdg == '/' ? std::string(xdg) : std::filesystem::temp_directory_path(error).string();
    }
    if (dir.empty() || ttyName.empty()) return {};
    return dir + "/pumpdiag-latency-" + std::to_string(::geteuid()) + "-" + ttyName;
}

std::optional<LatencyNote> ReadLatencyNote(const std::string& path) {
    // Never through a link, and only a note of our own: the folder may be shared.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    struct stat info {};
    char buffer[kMaxNote];
    ssize_t n = -1;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid())
        n = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    // "<flag 0|1> <timer text>\n"
    if (n < 3 || buffer[n - 1] != '\n' || (buffer[0] != '0' && buffer[0] != '1') || buffer[1] != ' ')
        return std::nullopt;
    return LatencyNote{buffer[0] == '1', std::string(buffer + 2, static_cast<std::size_t>(n) - 3)};
}

bool WriteLatencyNote(const std::string& path, const LatencyNote& note) {
    if (path.empty() || note.timer.size() > kMaxNote - 4) return false;
    ::unlink(path.c_str());
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const std::string text = std::string(note.flag ? "1 " : "0 ") + note.timer + "\n";
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    if ((::close(fd) != 0 || !written)) {
        ::unlink(path.c_str());
        return false;
    }
    return true;
}

}  // namespace serial::device
