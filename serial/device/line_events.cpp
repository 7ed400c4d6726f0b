#include "serial/device/line_events.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

namespace serial::device {

namespace {

// While their events are wanted, modem lines and error counters are looked at
// this often, and the output queue this often until it is empty.
constexpr int kLineWatchMs = 20;
constexpr int kOutputWatchMs = 2;

bool Readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
}

}  // namespace

void SignalEventFd(int efd) {
    const std::uint64_t one = 1;
    [[maybe_unused]] auto r = ::write(efd, &one, sizeof one);
}

void ResetEventFd(int efd) {
    std::uint64_t value;
    [[maybe_unused]] auto r = ::read(efd, &value, sizeof value);
}

LineEvents::LineEvents() : wakeFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

LineEvents::~LineEvents() { Release(); }

void LineEvents::Release() {
    if (wakeFd_ >= 0) ::close(wakeFd_);
    wakeFd_ = -1;
}

void LineEvents::Start(int tty) {
    modemLinesSupported_ = ::ioctl(tty, TIOCMGET, &watchedLines_) == 0;
    watchedCountersSupported_ = ::ioctl(tty, TIOCGICOUNT, &watchedCounters_) == 0;
}

void LineEvents::SetMask(std::uint32_t mask) {
    mask_ = mask;
    pending_ &= mask;
}

void LineEvents::WakeMonitor() {
    if (std::this_thread::get_id() != monitorThread_.load()) SignalEventFd(wakeFd_);
}

void LineEvents::OutputStarted() {
    outputPending_ = (mask_ & EV_TXEMPTY) != 0;
    if (outputPending_) WakeMonitor();
}

std::uint32_t LineEvents::TakeErrors(int tty) {
    std::uint32_t errors = 0;
    if (ioError_) errors |= CE_IOE;
    ioError_ = false;
    if (!countersSupported_) return errors;
    serial_icounter_struct now{};
    if (::ioctl(tty, TIOCGICOUNT, &now) != 0) {
        countersSupported_ = false;
        return errors;
    }
    if (haveCounters_) {
        if (now.frame != counters_.frame) errors |= CE_FRAME;
        if (now.parity != counters_.parity) errors |= CE_RXPARITY;
        if (now.overrun != counters_.overrun) errors |= CE_OVERRUN;
        if (now.buf_overrun != counters_.buf_overrun) errors |= CE_RXOVER;
        if (now.brk != counters_.brk) errors |= CE_BREAK;
    }
    counters_ = now;
    haveCounters_ = true;
    return errors;
}

bool LineEvents::HungUp(int tty) const {
    if (hungUp_) return true;
    pollfd p{tty, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR));
}

WaitResult LineEvents::Wait(std::mutex& lock, const std::atomic<bool>& shut, int tty, int stopFd,
                            std::uint32_t& events, const std::function<int()>& drain) {
    monitorThread_ = std::this_thread::get_id();
    for (;;) {
        int timeoutMs = -1;
        {
            std::lock_guard guard(lock);
            if (shut) return WaitResult::Failed;
            // The stop request comes first: on a line that never stops
            // sending, events are pending at every look.
            if (Readable(stopFd)) return WaitResult::Stopped;
            if (WatchingLines()) {
                CheckLines(tty);
                timeoutMs = kLineWatchMs;
            }
            if (CheckOutputDrained(tty)) timeoutMs = kOutputWatchMs;
            events = pending_ & mask_;
            pending_ = 0;
            if (events != 0) return WaitResult::Events;
            // What came before the hang-up has been reported; nothing more can come.
            if (hungUp_) return WaitResult::Gone;
        }
        pollfd fds[3] = {{stopFd, POLLIN, 0}, {wakeFd_, POLLIN, 0}, {tty, POLLIN, 0}};
        // A hung-up tty is readable for ever: stop watching it.
        const int n = ::poll(fds, hungUp_ ? 2 : 3, timeoutMs);
        if (n < 0 && errno != EINTR) return WaitResult::Failed;
        if (fds[0].revents) return WaitResult::Stopped;
        if (fds[1].revents) ResetEventFd(wakeFd_);
        if (!hungUp_ && fds[2].revents) {
            std::lock_guard guard(lock);
            if (drain() != 0 || (fds[2].revents & (POLLHUP | POLLERR))) {
                // The device or the other side is gone: reported once as a
                // line error, then as the device's end.
                hungUp_ = true;
                ioError_ = true;
                Raise(EV_ERR);
            }
        }
    }
}

bool LineEvents::WatchingLines() const {
    return (modemLinesSupported_ && (mask_ & (EV_CTS | EV_DSR | EV_RLSD | EV_RING))) ||
           (watchedCountersSupported_ && (mask_ & (EV_ERR | EV_BREAK)));
}

// Turns changes of the modem lines and error counters since the last look into events.
void LineEvents::CheckLines(int tty) {
    int lines = 0;
    if (modemLinesSupported_ && ::ioctl(tty, TIOCMGET, &lines) == 0) {
        const int changed = lines ^ watchedLines_;
        if (changed & TIOCM_CTS) pending_ |= EV_CTS;
        if (changed & TIOCM_DSR) pending_ |= EV_DSR;
        if (changed & TIOCM_CAR) pending_ |= EV_RLSD;
        if ((changed & TIOCM_RNG) && !(lines & TIOCM_RNG)) pending_ |= EV_RING;  // end of a ring
        watchedLines_ = lines;
    }
    serial_icounter_struct now{};
    if (watchedCountersSupported_ && ::ioctl(tty, TIOCGICOUNT, &now) == 0) {
        if (now.frame != watchedCounters_.frame || now.parity != watchedCounters_.parity ||
            now.overrun != watchedCounters_.overrun || now.buf_overrun != watchedCounters_.buf_overrun ||
            now.brk != watchedCounters_.brk) {
            pending_ |= EV_ERR;
        }
        if (now.brk != watchedCounters_.brk) pending_ |= EV_BREAK;
        watchedCounters_ = now;
    }
}

// True while the output must still be looked at to see it drained.
bool LineEvents::CheckOutputDrained(int tty) {
    if (!outputPending_) return false;
    int queued = 0;
    if (::ioctl(tty, TIOCOUTQ, &queued) != 0 || queued == 0) {
        outputPending_ = false;
        Raise(EV_TXEMPTY);
        return false;
    }
    return true;
}

}  // namespace serial::device
