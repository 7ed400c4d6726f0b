// Preloaded into Wine's processes (LD_PRELOAD) by the Windows tests: gives a
// pseudo-terminal the modem lines that a real serial adapter has. A pty
// answers TIOCMGET and its kin with an error, and Wine's COM port then ends
// every line-event wait at once; an adapter's driver answers them. Here a pty
// keeps its own outputs (DTR, RTS) as set, reads its inputs as an idle
// adapter shows them (CTS and DSR on, DCD and RI off, never changing), and
// TIOCMIWAIT blocks until the far end hangs up, as a driver's wait does when
// the device goes. Every other request, and every request on anything that
// is not a pty, goes to the system unchanged.
#include <dlfcn.h>
#include <errno.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>

#include <cstdarg>
#include <mutex>

namespace {

// Unix98 pty terminal sides (the kernel's UNIX98_PTY_SLAVE_MAJOR and the seven after it).
constexpr unsigned kFirstPtyMajor = 136;
constexpr unsigned kLastPtyMajor = 143;
constexpr int kInputs = TIOCM_CTS | TIOCM_DSR;
constexpr int kOutputs = TIOCM_DTR | TIOCM_RTS;
// How long each turn of TIOCMIWAIT blocks before it looks again.
constexpr int kWaitTurnMs = 100;

using IoctlFunction = int (*)(int, unsigned long, ...);

IoctlFunction SystemIoctl() {
    static const auto function = reinterpret_cast<IoctlFunction>(dlsym(RTLD_NEXT, "ioctl"));
    return function;
}

bool IsPty(int fd, dev_t& device) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    const unsigned m = major(st.st_rdev);
    device = st.st_rdev;
    return m >= kFirstPtyMajor && m <= kLastPtyMajor;
}

// The outputs of each pty by its device number: a port opened again, on a
// new descriptor, finds its lines as it left them, as on a real port.
class OutputLines {
public:
    int Get(dev_t device) {
        std::lock_guard lock(mutex_);
        return Slot(device).lines;
    }
    void Change(dev_t device, int set, int clear) {
        std::lock_guard lock(mutex_);
        Entry& e = Slot(device);
        e.lines = (e.lines | (set & kOutputs)) & ~(clear & kOutputs);
    }

private:
    struct Entry {
        dev_t device = 0;
        bool used = false;
        int lines = 0;
    };
    Entry& Slot(dev_t device) {
        for (Entry& e : entries_)
            if (e.used && e.device == device) return e;
        for (Entry& e : entries_)
            if (!e.used) {
                e = {device, true, 0};
                return e;
            }
        // More ptys than slots: the oldest slot is reused.
        Entry& e = entries_[next_++ % kSlots];
        e = {device, true, 0};
        return e;
    }
    static constexpr unsigned kSlots = 64;
    std::mutex mutex_;
    Entry entries_[kSlots];
    unsigned next_ = 0;
};

OutputLines& Outputs() {
    static OutputLines lines;
    return lines;
}

// Blocks until the far end of the pty hangs up or the descriptor is closed.
int WaitForHangUp(int fd) {
    for (;;) {
        pollfd p{fd, 0, 0};
        const int n = poll(&p, 1, kWaitTurnMs);
        if (n < 0 && errno != EINTR) return -1;
        if (n > 0 && (p.revents & (POLLHUP | POLLNVAL | POLLERR)) != 0) {
            errno = EIO;
            return -1;
        }
    }
}

}  // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
    va_list args;
    va_start(args, request);
    void* argument = va_arg(args, void*);
    va_end(args);
    dev_t device{};
    const bool modemRequest = request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS ||
                              request == TIOCMBIC || request == TIOCMIWAIT;
    if (!modemRequest || !IsPty(fd, device)) return SystemIoctl()(fd, request, argument);
    int* lines = static_cast<int*>(argument);
    switch (request) {
    case TIOCMGET:
        *lines = Outputs().Get(device) | kInputs;
        return 0;
    case TIOCMSET:
        Outputs().Change(device, *lines, ~*lines);
        return 0;
    case TIOCMBIS:
        Outputs().Change(device, *lines, 0);
        return 0;
    case TIOCMBIC:
        Outputs().Change(device, 0, *lines);
        return 0;
    default:  // TIOCMIWAIT: the inputs never change
        return WaitForHangUp(fd);
    }
}
