#include "pumpsim/tools/serve.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "core/platform/exception.h"
#include "core/realtime/thread_priority.h"
#include "pumpsim/pump_unit.h"

namespace pumpsim::tool {

namespace {

[[noreturn]] void Fail(const std::string& what) {
    const int code = errno;
    throw core::EOSError(what + ": " + std::strerror(code), code);
}

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Writes the unit's bytes to the tester's side: at their arrival time where
// the tool itself plays the line (pty), at their start where a real line
// takes its byte time (serial port). With a latency, every byte for the
// tester waits for the next tick of a timer of that period, as a USB
// adapter's latency timer holds what it received until it sends a packet.
class FdTransport final : public PumpTransport {
public:
    FdTransport(int fd, bool atStart, double latencyMs = 0)
        : fd_(fd), atStart_(atStart),
          latency_(std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::milli>(latencyMs))),
          epoch_(Clock::now()) {}
    void ByteStarted(std::uint8_t byte, bool lost) override {
        if (atStart_ && !lost) Put(byte);
    }
    void ByteArrived(std::uint8_t byte, bool lost, Clock::time_point) override {
        if (!atStart_ && !lost) Put(byte);
    }
    void Put(std::uint8_t byte) {
        ++written_;
        if (latency_ <= Clock::duration::zero()) return Deliver(byte);
        const auto ticks = (Clock::now() - epoch_) / latency_ + 1;
        held_.push_back({epoch_ + ticks * latency_, byte});
    }
    // Hands over the held bytes whose packet is due.
    void Flush(Clock::time_point now) {
        while (!held_.empty() && held_.front().first <= now) {
            Deliver(held_.front().second);
            held_.pop_front();
        }
    }
    std::optional<Clock::time_point> NextPacket() const {
        if (held_.empty()) return std::nullopt;
        return held_.front().first;
    }
    // On a single-wire line every byte put on it comes back: true for a
    // received byte that is such a return and not the tester's.
    bool TakeOwnReturn() {
        if (returned_ == written_) return false;
        ++returned_;
        return true;
    }

private:
    void Deliver(std::uint8_t byte) {
        // A full input queue on the tester's side drops the byte, as a line would.
        while (write(fd_, &byte, 1) < 0 && errno == EINTR) {
        }
    }

    int fd_;
    bool atStart_;
    Clock::duration latency_;
    Clock::time_point epoch_;
    std::deque<std::pair<Clock::time_point, std::uint8_t>> held_;
    std::uint64_t written_ = 0;
    std::uint64_t returned_ = 0;
};

// Waits for the unit's next deadline, the tester's input or the stop request.
// onInput gets the poll events and returns false when the tester side is gone.
ServeEnd ServeLoop(int fd, int stopFd, PumpUnit& unit, FdTransport& transport,
                   const std::function<bool(Clock::time_point, short)>& onInput) {
    // The unit stands for hardware that never waits for a busy computer.
    core::RequestRealTimePriority();
    for (;;) {
        timespec ts{};
        timespec* timeout = nullptr;
        auto deadline = unit.NextDeadline();
        if (const auto packet = transport.NextPacket(); packet && (!deadline || *packet < *deadline))
            deadline = packet;
        if (deadline) {
            const auto wait = std::max(Clock::duration::zero(), *deadline - Clock::now());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
            ts.tv_sec = static_cast<time_t>(ns / 1000000000);
            ts.tv_nsec = static_cast<long>(ns % 1000000000);
            timeout = &ts;
        }
        pollfd fds[2] = {{fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
        if (ppoll(fds, 2, timeout, nullptr) < 0) {
            if (errno == EINTR) continue;
            Fail("poll");
        }
        if (fds[1].revents != 0) return ServeEnd::Stopped;
        if (fds[0].revents != 0 && !onInput(Clock::now(), fds[0].revents)) return ServeEnd::TesterClosed;
        unit.Advance(Clock::now());
        transport.Flush(Clock::now());
    }
}

// Reads what is there (n may be 0: a terminal in raw mode without data, or
// hung up); false when the other side has gone (EIO).
bool ReadSome(int fd, std::uint8_t* buf, std::size_t size, ssize_t& n) {
    n = read(fd, buf, size);
    if (n >= 0) return true;
    if (errno == EAGAIN || errno == EINTR) {
        n = 0;
        return true;
    }
    if (errno != EIO) Fail("read");
    return false;
}

void MakeRaw(int fd, bool markParity) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) Fail("tcgetattr");
    cfmakeraw(&t);
    t.c_cflag &= ~(CSIZE | PARODD | CSTOPB | CRTSCTS);
    t.c_cflag |= CS8 | PARENB | CLOCAL | CREAD;
    if (markParity) {
        t.c_iflag &= ~(IGNBRK | BRKINT | IGNPAR | ISTRIP);
        t.c_iflag |= INPCK | PARMRK;
    }
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    if (tcsetattr(fd, TCSANOW, &t) != 0) Fail("tcsetattr");
}

// The symbolic link to the terminal, removed again when serving ends.
class Link {
public:
    Link(std::string path, const std::string& target) : path_(std::move(path)), target_(target) {
        if (path_.empty()) return;
        struct stat st {};
        if (lstat(path_.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode))
                throw core::EOSError("Will not replace " + path_ + ": it is not a symbolic link", EEXIST);
            if (unlink(path_.c_str()) != 0) Fail("Cannot remove old link " + path_);
        }
        if (symlink(target_.c_str(), path_.c_str()) != 0) Fail("Cannot create link " + path_);
    }
    ~Link() {
        if (path_.empty()) return;
        char buf[PATH_MAX];
        const ssize_t n = readlink(path_.c_str(), buf, sizeof buf);
        if (n >= 0 && std::string(buf, static_cast<std::size_t>(n)) == target_) unlink(path_.c_str());
    }
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

private:
    std::string path_;
    std::string target_;
};

// How often the master is looked at while no tester has the terminal open,
// and how long after the first purge of a tester further purges still belong
// to the opening (a port may be purged twice there; a wake-up pattern before
// its purge lasts 900 ms).
constexpr auto kOpenPollInterval = std::chrono::milliseconds(5);
constexpr auto kOpeningPurges = std::chrono::milliseconds(500);

// Serves one tester on the pty's master: from its opening to its closing.
ServeEnd ServeTester(int master, int stopFd, const ToolOptions& options, FdTransport& transport) {
    PumpUnit unit(options.config, transport);
    const bool echo = options.Echo();
    bool connected = false;
    std::optional<Clock::time_point> openingPurge;
    return ServeLoop(master, stopFd, unit, transport, [&](Clock::time_point now, short revents) {
        if (!connected) {
            if ((revents & POLLHUP) != 0) {
                // No tester yet; the hang-up stays reported, so do not spin.
                std::this_thread::sleep_for(kOpenPollInterval);
                return true;
            }
            connected = true;
        }
        std::uint8_t buf[512];
        ssize_t n = 0;
        if (!ReadSome(master, buf, sizeof buf, n)) return false;
        if (n == 0) return (revents & POLLHUP) == 0;
        if (buf[0] == TIOCPKT_DATA) {
            for (ssize_t i = 1; i < n; ++i) {
                if (echo) transport.Put(buf[i]);
                unit.TesterByte(buf[i], now);
            }
        } else if ((buf[0] & (TIOCPKT_FLUSHREAD | TIOCPKT_FLUSHWRITE)) != 0 && !options.silent) {
            // A terminal cannot carry a break: the purge that ends the
            // tester's wake-up pattern wakes the unit. The purges that come
            // with opening the port do not (a pump does not wake then), how
            // long the opening took (a busy computer) notwithstanding.
            if (!openingPurge)
                openingPurge = now;
            else if (now - *openingPurge > kOpeningPurges)
                unit.Wake(now);
        }
        return true;
    });
}

}  // namespace

void MarkedInputDecoder::Feed(const std::uint8_t* data, std::size_t count, std::vector<Event>& out) {
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t b = data[i];
        switch (state_) {
        case 0:
            if (b == 0xFF)
                state_ = 1;
            else
                out.push_back({false, b});
            break;
        case 1:
            if (b == 0xFF) {
                out.push_back({false, 0xFF});
                state_ = 0;
            } else if (b == 0x00) {
                state_ = 2;
            } else {
                // Not a mark: a lone 0xFF then b (cannot happen with PARMRK set).
                out.push_back({false, 0xFF});
                out.push_back({false, b});
                state_ = 0;
            }
            break;
        default:
            out.push_back(b == 0x00 ? Event{true, 0} : Event{false, b});
            state_ = 0;
            break;
        }
    }
}

ServeEnd ServePty(const ToolOptions& options, std::ostream& out, int stopFd) {
    Fd master(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (master.get() < 0) Fail("posix_openpt");
    if (grantpt(master.get()) != 0) Fail("grantpt");
    if (unlockpt(master.get()) != 0) Fail("unlockpt");
    char name[256];
    if (ptsname_r(master.get(), name, sizeof name) != 0) Fail("ptsname");
    // Terminal settings made through the master apply to the terminal side:
    // raw, so that nothing is echoed or translated before the tester sets it.
    MakeRaw(master.get(), false);
    int on = 1;
    if (ioctl(master.get(), TIOCPKT, &on) != 0) Fail("TIOCPKT");
    if (fcntl(master.get(), F_SETFL, O_NONBLOCK) != 0) Fail("fcntl");
    // Opening and closing the terminal side once makes the master report a
    // hang-up until the tester opens it: that is how its opening is seen.
    {
        Fd side(open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
        if (side.get() < 0) Fail(std::string("Cannot open ") + name);
    }
    Link link(options.link, name);
    out << name << std::endl;

    FdTransport transport(master.get(), false, options.latencyMs);
    for (;;) {
        // Every tester finds the unit asleep, as after a power-up.
        const ServeEnd end = ServeTester(master.get(), stopFd, options, transport);
        if (end == ServeEnd::Stopped || !options.stay) return end;
    }
}

ServeEnd ServeDevice(const ToolOptions& options, int stopFd) {
    Fd port(open(options.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (port.get() < 0) Fail("Cannot open " + options.device);
    MakeRaw(port.get(), true);
    tcflush(port.get(), TCIOFLUSH);

    FdTransport transport(port.get(), true, options.latencyMs);
    PumpUnit unit(options.config, transport);
    const bool echo = options.Echo();
    MarkedInputDecoder decoder;
    std::vector<MarkedInputDecoder::Event> events;
    return ServeLoop(port.get(), stopFd, unit, transport, [&](Clock::time_point now, short revents) {
        std::uint8_t buf[512];
        ssize_t n = 0;
        if (!ReadSome(port.get(), buf, sizeof buf, n)) return false;
        if (n == 0) return (revents & (POLLHUP | POLLERR | POLLNVAL)) == 0;
        events.clear();
        decoder.Feed(buf, static_cast<std::size_t>(n), events);
        for (const auto& e : events) {
            if (e.isBreak) {
                if (!options.silent) unit.BreakPulse(now);
                continue;
            }
            if (options.ownEcho && transport.TakeOwnReturn()) continue;
            if (echo) transport.Put(e.byte);
            unit.TesterByte(e.byte, now);
        }
        return true;
    });
}

}  // namespace pumpsim::tool
