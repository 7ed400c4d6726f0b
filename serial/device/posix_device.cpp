// termios backend. Received bytes are moved from the tty into the device's own
// input queue (the monitoring thread does it as they arrive, readers when they
// need more), so the kernel's level-triggered readiness never makes the
// monitoring thread spin on bytes that a handler left unread, and "new bytes
// arrived" is reported once per arrival.
#include "serial/device/posix_device.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "serial/device/timing.h"

namespace serial::device {

namespace {

void Signal(int efd) {
    const std::uint64_t one = 1;
    [[maybe_unused]] auto r = ::write(efd, &one, sizeof one);
}

void Reset(int efd) {
    std::uint64_t value;
    [[maybe_unused]] auto r = ::read(efd, &value, sizeof value);
}

tcflag_t SpeedCode(std::uint32_t rate) {
    static constexpr struct {
        std::uint32_t rate;
        tcflag_t code;
    } kCodes[] = {{50, B50},         {75, B75},         {110, B110},       {134, B134},
                  {150, B150},       {200, B200},       {300, B300},       {600, B600},
                  {1200, B1200},     {1800, B1800},     {2400, B2400},     {4800, B4800},
                  {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
                  {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600}};
    for (const auto& c : kCodes) {
        if (c.rate == rate) return c.code;
    }
    return BOTHER;
}

// Gives the tty back whole: without the exclusive flag, which outlives the
// descriptor while the far end of a pseudo-terminal stays open and would keep
// every later unprivileged opener out, and without the lock.
void ReleaseTty(int fd) {
    ::ioctl(fd, TIOCNXCL);
    ::flock(fd, LOCK_UN);
    ::close(fd);
}

}  // namespace

int MapToTermios(const DeviceControlBlock& dcb, TermiosSettings& out) {
    if (int e = CheckDeviceControlBlock(dcb)) return e;
    tcflag_t c = CREAD | CLOCAL;
    switch (dcb.ByteSize) {
        case 5: c |= CS5; break;
        case 6: c |= CS6; break;
        case 7: c |= CS7; break;
        case 8: c |= CS8; break;
        default: break;
    }
    switch (dcb.Parity) {
        case 0: break;
        case 1: c |= PARENB | PARODD; break;
        case 2: c |= PARENB; break;
        case 3: c |= PARENB | PARODD | CMSPAR; break;
        case 4: c |= PARENB | CMSPAR; break;
        default: break;
    }
    // One and a half stop bits exist only with five data bits, where CSTOPB means them.
    if (dcb.StopBits != 0) c |= CSTOPB;
    const std::uint32_t rtsControl = (dcb.Flags >> kDcbRtsControlShift) & 3;
    if ((dcb.Flags & kDcbOutxCtsFlow) || rtsControl == 2) c |= CRTSCTS;
    // A standard speed keeps its own code (drivers without arbitrary speeds
    // understand it); any other goes as an exact number.
    const tcflag_t code = SpeedCode(dcb.BaudRate);
    c |= code | (code << IBSHIFT);

    tcflag_t i = 0;
    if (dcb.Flags & kDcbOutX) i |= IXON;
    if (dcb.Flags & kDcbInX) i |= IXOFF;
    // Errors and breaks are marked in the input so that they can be reported
    // and bytes with errors replaced; parity is checked only on request.
    i |= PARMRK;
    if (dcb.Flags & kDcbParity) i |= INPCK;

    out.controlFlags = c;
    out.inputFlags = i;
    out.speed = dcb.BaudRate;
    out.startChar = static_cast<std::uint8_t>(dcb.XonChar);
    out.stopChar = static_cast<std::uint8_t>(dcb.XoffChar);
    return 0;
}

namespace {

class PosixDevice final : public SerialDevice {
public:
    PosixDevice(int fd) : fd_(fd) {
        abortFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        queueFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        queue_.reserve(4096);
    }
    ~PosixDevice() override {
        if (!released_) Release();
    }

    bool Valid() const { return abortFd_ >= 0 && wakeFd_ >= 0 && queueFd_ >= 0; }

    int Initialise() {
        termios2 tio{};
        if (::ioctl(fd_, TCGETS2, &tio) != 0) return errno;
        MakeRaw(tio);
        tio.c_cflag |= CREAD | CLOCAL;
        tio.c_iflag |= PARMRK;
        if (::ioctl(fd_, TCSETS2, &tio) != 0) return errno;
        // Line changes and error counters exist on real ports only; they are
        // watched from these first readings on.
        modemLinesSupported_ = ::ioctl(fd_, TIOCMGET, &watchedLines_) == 0;
        watchedCountersSupported_ = ::ioctl(fd_, TIOCGICOUNT, &watchedCounters_) == 0;
        return 0;
    }

    int SetQueueSizes(std::int32_t input, std::int32_t output) override {
        const Use use(*this);
        if (!use) return EBADF;
        if (input < 0 || output < 0) return EINVAL;
        // The kernel's queues have fixed sizes; the input size only sets the
        // point at which the queue counts as 80 % full.
        std::lock_guard guard(lock_);
        inputSize_ = input;
        return 0;
    }

    int SetState(const DeviceControlBlock& dcb) override {
        const Use use(*this);
        if (!use) return EBADF;
        TermiosSettings mapped;
        if (int e = MapToTermios(dcb, mapped)) return e;
        termios2 tio{};
        if (::ioctl(fd_, TCGETS2, &tio) != 0) return errno;
        MakeRaw(tio);
        tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
        tio.c_cflag |= mapped.controlFlags;
        tio.c_iflag |= mapped.inputFlags;
        tio.c_ispeed = mapped.speed;
        tio.c_ospeed = mapped.speed;
        tio.c_cc[VSTART] = mapped.startChar;
        tio.c_cc[VSTOP] = mapped.stopChar;
        if (::ioctl(fd_, TCSETS2, &tio) != 0) return errno;

        // DTR and RTS follow their controls; a pseudo-terminal has neither line.
        const std::uint32_t dtrControl = (dcb.Flags >> kDcbDtrControlShift) & 3;
        const std::uint32_t rtsControl = (dcb.Flags >> kDcbRtsControlShift) & 3;
        SetModemLine(TIOCM_DTR, dtrControl == 1 || dtrControl == 2);
        if (rtsControl != 2) SetModemLine(TIOCM_RTS, rtsControl == 1);

        std::lock_guard guard(lock_);
        replaceErrors_ = (dcb.Flags & kDcbParity) && (dcb.Flags & kDcbErrorChar);
        errorChar_ = static_cast<std::uint8_t>(dcb.ErrorChar);
        discardNull_ = dcb.Flags & kDcbNull;
        eventChar_ = static_cast<std::uint8_t>(dcb.EvtChar);
        return 0;
    }

    int SetTimeouts(const CommTimeouts& timeouts) override {
        const Use use(*this);
        if (!use) return EBADF;
        std::lock_guard guard(lock_);
        timeouts_ = timeouts;
        return 0;
    }

    int StartRead(Transfer& t, std::uint8_t* buffer, int count) override {
        const Use use(*this);
        std::unique_lock guard(lock_);
        BeginRead(t, timeouts_, buffer, count, abortGeneration_);
        if (!use) return FailTransfer(t, EBADF);
        return ReadStep(t);
    }

    int StartWrite(Transfer& t, const std::uint8_t* data, int count) override {
        const Use use(*this);
        {
            std::lock_guard guard(lock_);
            BeginWrite(t, timeouts_, data, count, abortGeneration_);
        }
        if (!use) return FailTransfer(t, EBADF);
        return WriteStep(t);
    }

    int Await(Transfer& t) override {
        // A finished record needs nothing of the device, which may be gone.
        if (t.completed) return t.error;
        const Use use(*this);
        if (!use) return FailTransfer(t, EBADF);
        // The check of the queue and the registration as a waiter happen under
        // one lock, so bytes another thread queues meanwhile signal queueFd_.
        std::unique_lock guard(lock_);
        while (!t.completed) {
            if (t.abortGeneration != abortGeneration_ || shut_) return FailTransfer(t, shut_ ? EBADF : ECANCELED);
            const int budget = WaitBudgetMs(t, Clock::now());
            pollfd fds[3] = {{fd_, static_cast<short>(t.isRead ? POLLIN : POLLOUT), 0},
                             {abortFd_, POLLIN, 0},
                             {queueFd_, POLLIN, 0}};
            ++waiters_;
            guard.unlock();
            const int n = ::poll(fds, t.isRead ? 3 : 2, budget);
            const int pollError = n < 0 ? errno : 0;
            guard.lock();
            --waiters_;
            if (t.abortGeneration != abortGeneration_ || shut_) {
                // The last of the waiters an abort woke takes the signal down.
                if (abortedWaiters_ > 0 && --abortedWaiters_ == 0) Reset(abortFd_);
                return FailTransfer(t, shut_ ? EBADF : ECANCELED);
            }
            if (pollError != 0 && pollError != EINTR) return FailTransfer(t, pollError);
            if (t.isRead) {
                Reset(queueFd_);
                if (int e = ReadStep(t)) return e;
            } else {
                guard.unlock();
                const int e = WriteStep(t);
                guard.lock();
                if (e) return e;
            }
        }
        return t.error;
    }

    int Abort() override {
        const Use use(*this);
        if (!use) return EBADF;
        std::lock_guard guard(lock_);
        AbortWaiters();
        return 0;
    }

    int Purge(bool input, bool output) override {
        const Use use(*this);
        if (!use) return EBADF;
        std::lock_guard guard(lock_);
        if (input) {
            if (::ioctl(fd_, TCFLSH, TCIFLUSH) != 0) return errno;
            queue_.clear();
            queueHead_ = 0;
            markState_ = 0;
        }
        if (output && ::ioctl(fd_, TCFLSH, TCOFLUSH) != 0) return errno;
        return 0;
    }

    int SetBreak(bool on) override {
        const Use use(*this);
        if (!use) return EBADF;
        return ::ioctl(fd_, on ? TIOCSBRK : TIOCCBRK) == 0 ? 0 : errno;
    }

    int ClearErrors(std::uint32_t& errors, int& inQueue) override {
        const Use use(*this);
        if (!use) return EBADF;
        std::lock_guard guard(lock_);
        bool arrived = false;
        if (int e = Drain(arrived)) return e;
        if (arrived) NoteArrival();
        errors = pendingErrors_ | CounterErrors();
        pendingErrors_ = 0;
        inQueue = static_cast<int>(queue_.size() - queueHead_);
        return 0;
    }

    int ModemStatus(std::uint32_t& status) override {
        const Use use(*this);
        if (!use) return EBADF;
        status = 0;
        int lines = 0;
        if (::ioctl(fd_, TIOCMGET, &lines) != 0) {
            // A pseudo-terminal has no modem lines: all off, not a failure.
            return (errno == ENOTTY || errno == EINVAL) ? 0 : errno;
        }
        if (lines & TIOCM_CTS) status |= MS_CTS_ON;
        if (lines & TIOCM_DSR) status |= MS_DSR_ON;
        if (lines & TIOCM_RNG) status |= MS_RING_ON;
        if (lines & TIOCM_CAR) status |= MS_RLSD_ON;
        return 0;
    }

    void SetEventMask(std::uint32_t mask) override {
        std::lock_guard guard(lock_);
        mask_ = mask;
        pendingEvents_ &= mask;
    }

    WaitResult WaitEvent(int stopFd, std::uint32_t& events) override {
        const Use use(*this);
        if (!use) return WaitResult::Failed;
        monitorThread_ = std::this_thread::get_id();
        for (;;) {
            int timeoutMs = -1;
            {
                std::lock_guard guard(lock_);
                if (shut_) return WaitResult::Failed;
                if (WatchingLines()) {
                    CheckLines();
                    timeoutMs = kLineWatchMs;
                }
                if (CheckOutputDrained()) timeoutMs = kOutputWatchMs;
                events = pendingEvents_ & mask_;
                pendingEvents_ = 0;
                if (events != 0) return WaitResult::Events;
            }
            pollfd fds[3] = {{stopFd, POLLIN, 0}, {wakeFd_, POLLIN, 0}, {fd_, POLLIN, 0}};
            // A hung-up tty is readable for ever: stop watching it.
            const int n = ::poll(fds, hungUp_ ? 2 : 3, timeoutMs);
            if (n < 0 && errno != EINTR) return WaitResult::Failed;
            if (fds[0].revents) return WaitResult::Stopped;
            if (fds[1].revents) Reset(wakeFd_);
            if (!hungUp_ && fds[2].revents) {
                std::lock_guard guard(lock_);
                bool arrived = false;
                if (Drain(arrived) != 0 || (fds[2].revents & (POLLHUP | POLLERR))) {
                    // The other side is gone: report it once as a line error.
                    hungUp_ = true;
                    pendingErrors_ |= CE_IOE;
                    pendingEvents_ |= EV_ERR & mask_;
                }
            }
        }
    }

    void Shutdown() override {
        {
            std::lock_guard guard(useLock_);
            if (shut_) return;
            shut_ = true;
        }
        {
            std::lock_guard guard(lock_);
            AbortWaiters();
            Signal(wakeFd_);
        }
        // The calls in progress were just woken and return at once; the tty
        // goes when they are out, however many transfer records still hold
        // this object.
        std::unique_lock guard(useLock_);
        idle_.wait(guard, [&] { return users_ == 0; });
        Release();
    }

private:
    // Holds off the release of the descriptors for the length of one call;
    // false once the device is shut down.
    class Use {
    public:
        explicit Use(PosixDevice& device) : device_(device), entered_(device.Enter()) {}
        ~Use() {
            if (entered_) device_.Leave();
        }
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;
        explicit operator bool() const { return entered_; }

    private:
        PosixDevice& device_;
        const bool entered_;
    };

    bool Enter() {
        std::lock_guard guard(useLock_);
        if (shut_) return false;
        ++users_;
        return true;
    }
    void Leave() {
        std::lock_guard guard(useLock_);
        if (--users_ == 0) idle_.notify_all();
    }

    void Release() {
        ReleaseTty(fd_);
        ::close(abortFd_);
        ::close(wakeFd_);
        ::close(queueFd_);
        released_ = true;
    }

    static void MakeRaw(termios2& tio) {
        tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY |
                         INPCK | IGNPAR | IUCLC | IMAXBEL);
        tio.c_oflag &= ~OPOST;
        tio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
        tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;
    }

    // Transfers started before this moment end with ECANCELED; those waiting
    // are woken. The lock is held.
    void AbortWaiters() {
        ++abortGeneration_;
        if (waiters_ > 0) {
            abortedWaiters_ = waiters_;
            Signal(abortFd_);
        }
    }

    void SetModemLine(int line, bool on) {
        // Best effort: lines the device lacks are simply not there.
        [[maybe_unused]] int r = ::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &line);
    }

    // Takes what the queue and the tty hold into the read; the lock is held.
    int ReadStep(Transfer& t) {
        const int before = t.done;
        Take(t);
        if (t.done < t.count) {
            bool arrived = false;
            if (int e = Drain(arrived)) return FailTransfer(t, e);
            Take(t);
            // Bytes this read moved in but left behind still count as new arrivals.
            if (arrived && queueHead_ < queue_.size()) NoteArrival();
            // Nothing more can come from a tty whose far end is gone.
            if (!arrived && queueHead_ == queue_.size() && HungUp()) {
                if (t.done == 0) return FailTransfer(t, EIO);
                t.completed = true;
            }
        }
        const auto now = Clock::now();
        if (t.done > before) t.lastByte = now;
        if (ReadFinished(t, now)) t.completed = true;
        // Another waiting reader may want what is left.
        if (waiters_ > 0 && queueHead_ < queue_.size()) Signal(queueFd_);
        return 0;
    }

    void Take(Transfer& t) {
        const std::size_t available = queue_.size() - queueHead_;
        const std::size_t n = std::min<std::size_t>(available, static_cast<std::size_t>(t.count - t.done));
        if (n == 0) return;
        std::memcpy(t.readBuffer + t.done, queue_.data() + queueHead_, n);
        queueHead_ += n;
        t.done += static_cast<int>(n);
        if (queueHead_ == queue_.size()) {
            queue_.clear();
            queueHead_ = 0;
            // Nothing is left to announce.
            pendingEvents_ &= ~EV_RXCHAR;
        } else if (queueHead_ >= kQueueLimitMin) {
            // A reader that never empties the queue must not let the bytes it
            // took pile up in front of it.
            queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(queueHead_));
            queueHead_ = 0;
        }
    }

    int WriteStep(Transfer& t) {
        while (t.done < t.count) {
            const ssize_t n = ::write(fd_, t.writeBuffer + t.done, static_cast<std::size_t>(t.count - t.done));
            if (n > 0) {
                t.done += static_cast<int>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN) return FailTransfer(t, errno);
            break;
        }
        if (t.done >= t.count || (t.hasDeadline && Clock::now() >= t.deadline)) {
            t.completed = true;
            if (t.done > 0) {
                std::lock_guard guard(lock_);
                outputPending_ = (mask_ & EV_TXEMPTY) != 0;
                if (outputPending_ && std::this_thread::get_id() != monitorThread_.load()) Signal(wakeFd_);
            }
        }
        return 0;
    }

    // Moves everything the tty holds into the queue, resolving the marks that
    // PARMRK puts before bytes with errors and breaks; the lock is held.
    int Drain(bool& arrived) {
        const std::size_t before = queue_.size();
        const int result = DrainTty();
        arrived = queue_.size() > before;
        if (arrived && waiters_ > 0) Signal(queueFd_);
        return result;
    }

    int DrainTty() {
        std::uint8_t chunk[1024];
        for (;;) {
            const ssize_t n = ::read(fd_, chunk, sizeof chunk);
            if (n < 0) {
                if (errno == EINTR) continue;
                if (errno == EAGAIN) return 0;
                return errno;
            }
            if (n == 0) return 0;
            Accept(chunk, static_cast<std::size_t>(n));
            if (static_cast<std::size_t>(n) < sizeof chunk) return 0;
        }
    }

    void Accept(const std::uint8_t* data, std::size_t n) {
        const std::size_t before = queue_.size() - queueHead_;
        std::uint32_t events = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint8_t c = data[i];
            switch (markState_) {
                case 0:
                    if (c == 0xFF) {
                        markState_ = 1;
                        continue;
                    }
                    Push(c, events);
                    break;
                case 1:  // after 0xFF: 0xFF is a literal 0xFF, 0 starts a mark
                    markState_ = 0;
                    if (c == 0xFF) {
                        Push(c, events);
                    } else {
                        markState_ = 2;
                    }
                    break;
                default:  // the byte after 0xFF 0: 0 is a break, anything else a byte with an error
                    markState_ = 0;
                    if (c == 0) {
                        pendingErrors_ |= CE_BREAK;
                        events |= EV_BREAK | EV_ERR;
                    } else {
                        pendingErrors_ |= CE_RXPARITY;
                        events |= EV_ERR;
                        Push(replaceErrors_ ? errorChar_ : c, events);
                    }
                    break;
            }
        }
        const std::size_t after = queue_.size() - queueHead_;
        if (after > before) {
            events |= EV_RXCHAR;
            if (inputSize_ > 0 && before * 5 < static_cast<std::size_t>(inputSize_) * 4 &&
                after * 5 >= static_cast<std::size_t>(inputSize_) * 4) {
                events |= EV_RX80FULL;
            }
        }
        pendingEvents_ |= events & mask_;
    }

    void Push(std::uint8_t c, std::uint32_t& events) {
        if (c == 0 && discardNull_) return;
        if (queue_.size() - queueHead_ >= QueueLimit()) {
            // Full, as a driver's queue can be: the byte is lost and that is reported.
            pendingErrors_ |= CE_RXOVER;
            events |= EV_ERR;
            return;
        }
        if (c == eventChar_) events |= EV_RXFLAG;
        queue_.push_back(c);
    }

    // The queue holds what nobody has read yet up to a limit well above the
    // input size asked for, within bounds that keep a forgotten port cheap.
    static constexpr std::size_t kQueueLimitMin = 64 * 1024;
    static constexpr std::size_t kQueueLimitMax = 256 * 1024;
    std::size_t QueueLimit() const {
        return std::clamp<std::size_t>(16 * static_cast<std::size_t>(inputSize_), kQueueLimitMin, kQueueLimitMax);
    }

    // Bytes that a caller moved into the queue are announced like any others:
    // the monitoring thread, unless it is the caller, is woken for them.
    void NoteArrival() {
        if ((pendingEvents_ & EV_RXCHAR) && std::this_thread::get_id() != monitorThread_.load()) Signal(wakeFd_);
    }

    bool HungUp() {
        if (hungUp_) return true;
        pollfd p{fd_, POLLIN, 0};
        return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR));
    }

    // Line errors from the driver's counters since the last query; a device
    // without counters (a pseudo-terminal) has none.
    std::uint32_t CounterErrors() {
        if (!countersSupported_) return 0;
        serial_icounter_struct now{};
        if (::ioctl(fd_, TIOCGICOUNT, &now) != 0) {
            countersSupported_ = false;
            return 0;
        }
        std::uint32_t errors = 0;
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

    // Modem lines and error counters cannot be waited for together with the
    // input, so while their events are wanted they are looked at this often.
    static constexpr int kLineWatchMs = 20;
    static constexpr int kOutputWatchMs = 2;

    bool WatchingLines() const {
        return (modemLinesSupported_ && (mask_ & (EV_CTS | EV_DSR | EV_RLSD | EV_RING))) ||
               (watchedCountersSupported_ && (mask_ & (EV_ERR | EV_BREAK)));
    }

    // Turns changes of the modem lines and error counters since the last look
    // into events; the lock is held.
    void CheckLines() {
        int lines = 0;
        if (modemLinesSupported_ && ::ioctl(fd_, TIOCMGET, &lines) == 0) {
            const int changed = lines ^ watchedLines_;
            if (changed & TIOCM_CTS) pendingEvents_ |= EV_CTS;
            if (changed & TIOCM_DSR) pendingEvents_ |= EV_DSR;
            if (changed & TIOCM_CAR) pendingEvents_ |= EV_RLSD;
            if ((changed & TIOCM_RNG) && !(lines & TIOCM_RNG)) pendingEvents_ |= EV_RING;  // end of a ring
            watchedLines_ = lines;
        }
        serial_icounter_struct now{};
        if (watchedCountersSupported_ && ::ioctl(fd_, TIOCGICOUNT, &now) == 0) {
            if (now.frame != watchedCounters_.frame || now.parity != watchedCounters_.parity ||
                now.overrun != watchedCounters_.overrun || now.buf_overrun != watchedCounters_.buf_overrun ||
                now.brk != watchedCounters_.brk) {
                pendingEvents_ |= EV_ERR;
            }
            if (now.brk != watchedCounters_.brk) pendingEvents_ |= EV_BREAK;
            watchedCounters_ = now;
        }
    }

    // True while the monitoring thread must keep looking for the output to drain.
    bool CheckOutputDrained() {
        if (!outputPending_) return false;
        int queued = 0;
        if (::ioctl(fd_, TIOCOUTQ, &queued) != 0 || queued == 0) {
            outputPending_ = false;
            pendingEvents_ |= EV_TXEMPTY & mask_;
            return false;
        }
        return true;
    }

    const int fd_;
    int abortFd_ = -1;  // ends transfers in progress
    int wakeFd_ = -1;   // wakes the monitoring thread
    int queueFd_ = -1;  // tells waiting readers that bytes were queued
    std::atomic<bool> shut_{false};
    std::mutex useLock_;
    std::condition_variable idle_;
    int users_ = 0;
    bool released_ = false;

    std::mutex lock_;
    std::vector<std::uint8_t> queue_;
    std::size_t queueHead_ = 0;
    int markState_ = 0;
    CommTimeouts timeouts_{};
    std::uint64_t abortGeneration_ = 0;
    int waiters_ = 0;
    int abortedWaiters_ = 0;
    std::uint32_t mask_ = 0;
    std::uint32_t pendingEvents_ = 0;
    std::uint32_t pendingErrors_ = 0;
    std::int32_t inputSize_ = 0;
    bool replaceErrors_ = false;
    std::uint8_t errorChar_ = 0;
    bool discardNull_ = false;
    std::uint8_t eventChar_ = 0;
    bool outputPending_ = false;
    bool countersSupported_ = true;
    bool haveCounters_ = false;
    serial_icounter_struct counters_{};
    std::atomic<bool> hungUp_{false};
    bool modemLinesSupported_ = false;
    int watchedLines_ = 0;
    bool watchedCountersSupported_ = false;
    serial_icounter_struct watchedCounters_{};
    std::atomic<std::thread::id> monitorThread_{};
};

}  // namespace

std::shared_ptr<SerialDevice> OpenPosixDevice(const std::string& path, int& error) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    // Exclusive: the advisory lock also stops a second opener that TIOCEXCL
    // lets through (a privileged one).
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = errno;
        ::close(fd);
        return nullptr;
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        error = errno;
        ReleaseTty(fd);
        return nullptr;
    }
    auto device = std::make_shared<PosixDevice>(fd);
    if (!device->Valid()) {
        error = EMFILE;
        return nullptr;
    }
    if (int e = device->Initialise()) {
        error = e;
        return nullptr;
    }
    return device;
}

}  // namespace serial::device
