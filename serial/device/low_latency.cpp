#include "serial/device/low_latency.h"

#include "serial/device/low_latency_note.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <filesystem>

namespace serial::device {

namespace {

constexpr int kLatencyTimerMs = 1;

// The driver's low-latency flag: 1 set, 0 clear, -1 when the driver has none.
int LowLatencyFlag(int tty) {
    serial_struct info{};
    if (::ioctl(tty, TIOCGSERIAL, &info) != 0) return -1;
    return (info.flags & ASYNC_LOW_LATENCY) != 0 ? 1 : 0;
}

bool SetLowLatencyFlag(int tty, bool on) {
    serial_struct info{};
    if (::ioctl(tty, TIOCGSERIAL, &info) != 0) return false;
    if (on) {
        info.flags |= ASYNC_LOW_LATENCY;
    } else {
        info.flags &= ~ASYNC_LOW_LATENCY;
    }
    return ::ioctl(tty, TIOCSSERIAL, &info) == 0;
}

// The attribute's text without its line end; empty when it cannot be read.
std::string ReadAttribute(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    char buffer[32];
    const ssize_t n = ::read(fd, buffer, sizeof buffer - 1);
    ::close(fd);
    std::string text(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

bool WriteAttribute(const std::string& path, const std::string& text) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return false;
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    return (::close(fd) == 0) && written;
}

// The kernel's name of the tty behind `path` (/dev/serial/by-id/... leads to ttyUSB0).
std::string TtyName(const std::string& path) {
    std::error_code error;
    const auto real = std::filesystem::canonical(path, error);
    return error ? std::string() : real.filename().string();
}

}  // namespace

void LowLatency::Request(int tty, const std::string& path, const std::string& sysfsRoot,
                         const std::string& runtimeDir) {
    const std::string name = TtyName(path);
    const std::string timer = name.empty() ? std::string() : sysfsRoot + "/class/tty/" + name + "/device/latency_timer";
    // The timer is read before the flag is set: the FTDI driver lowers it for
    // the flag and raises it to its default when the flag goes, and closing
    // must leave the value from before.
    LatencyNote before{LowLatencyFlag(tty) == 1, timer.empty() ? std::string() : ReadAttribute(timer)};
    notePath_ = LatencyNotePath(runtimeDir, name);
    if (const auto killedRun = ReadLatencyNote(notePath_)) {
        before.flag = killedRun->flag;
        if (!killedRun->timer.empty()) before.timer = killedRun->timer;
    }
    flagToClear_ = !before.flag && SetLowLatencyFlag(tty, true);
    if (!before.timer.empty() && WriteAttribute(timer, std::to_string(kLatencyTimerMs))) {
        timerPath_ = timer;
        timerBefore_ = before.timer;
    }
    if (!flagToClear_ && timerPath_.empty()) {
        // Nothing changed, nothing to note; a stale note has done its work.
        if (!notePath_.empty()) ::unlink(notePath_.c_str());
        notePath_.clear();
    } else if (!WriteLatencyNote(notePath_, before)) {
        notePath_.clear();
    }
}

void LowLatency::Restore(int tty) {
    if (flagToClear_) SetLowLatencyFlag(tty, false);
    flagToClear_ = false;
    if (!timerPath_.empty()) WriteAttribute(timerPath_, timerBefore_);
    timerPath_.clear();
    if (!notePath_.empty()) ::unlink(notePath_.c_str());
    notePath_.clear();
}

}  // namespace serial::device
