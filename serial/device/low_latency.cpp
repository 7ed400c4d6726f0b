#include "serial/device/low_latency.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <filesystem>

namespace serial::device {

namespace {

constexpr int kLatencyTimerMs = 1;
// The FTDI driver's own timer, which it also takes when the flag goes.
constexpr const char* kDefaultLatencyTimer = "16";

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

void LowLatency::Request(int tty, const std::string& path, const std::string& sysfsRoot) {
    const std::string name = TtyName(path);
    const std::string timer = name.empty() ? std::string() : sysfsRoot + "/class/tty/" + name + "/device/latency_timer";
    // The timer is read before the flag is set: the FTDI driver lowers it for
    // the flag and raises it to its default when the flag goes, and closing
    // must leave the value from before.
    const std::string before = timer.empty() ? std::string() : ReadAttribute(timer);
    // A flag or a timer found at its low-latency value was most likely left
    // by a run that was killed: closing then puts back the driver's defaults.
    const int flagBefore = LowLatencyFlag(tty);
    flagToClear_ = flagBefore == 1 || (flagBefore == 0 && SetLowLatencyFlag(tty, true));
    if (!before.empty() && WriteAttribute(timer, std::to_string(kLatencyTimerMs))) {
        timerPath_ = timer;
        timerBefore_ = before == std::to_string(kLatencyTimerMs) ? kDefaultLatencyTimer : before;
    }
}

void LowLatency::Restore(int tty) {
    if (flagToClear_) SetLowLatencyFlag(tty, false);
    flagToClear_ = false;
    if (!timerPath_.empty()) WriteAttribute(timerPath_, timerBefore_);
    timerPath_.clear();
}

}  // namespace serial::device
