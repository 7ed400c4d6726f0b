// termios backend: opening and releasing the tty, and the transfers on it.
// The line settings, the received-byte queue, the wait for line events and
// the adapter's latency each have their own file.
#include "serial/device/posix_device.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <mutex>

#include "serial/device/line_events.h"
#include "serial/device/low_latency.h"
#include "serial/device/posix_termios.h"
#include "serial/device/rx_queue.h"
#include "serial/device/timing.h"

namespace serial::device {

namespace {

// Gives the tty back whole: without the exclusive flag, which outlives the
// descriptor while the far end of a pseudo-terminal stays open and would keep
// every later unprivileged opener out, and without the lock.
void ReleaseTty(int fd) {
    ::ioctl(fd, TIOCNXCL);
    ::flock(fd, LOCK_UN);
    ::close(fd);
}

class PosixDevice final : public SerialDevice {
public:
    explicit PosixDevice(int fd)
        : fd_(fd),
          abortFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)),
          queueFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
    ~PosixDevice() override {
        if (!released_) Release();
    }

    bool Valid() const { return abortFd_ >= 0 && queueFd_ >= 0 && events_.Valid(); }

    int Initialise(const std::string& path, const PosixDeviceOptions& options) {
        // A terminal is handed back with the settings it came with.
        haveSavedSettings_ = ::ioctl(fd_, TCGETS2, &savedSettings_) == 0;
        if (int e = SetRawMode(fd_)) return e;
        events_.Start(fd_);
        lowLatency_.Request(fd_, path, options.sysfsRoot, options.runtimeDir);
        if (options.breakRequest) breakRequest_ = options.breakRequest;
        return 0;
    }

    int SetQueueSizes(std::int32_t input, std::int32_t output) override {
        const Use use(*this);
        if (!use) return EBADF;
        if (input < 0 || output < 0) return EINVAL;
        // The kernel's queues have fixed sizes; the input size sets the point
        // at which the device's own queue counts as 80 % full, and its limit.
        std::lock_guard guard(lock_);
        rx_.SetInputSize(input);
        return 0;
    }

    int SetState(const DeviceControlBlock& dcb) override {
        const Use use(*this);
        if (!use) return EBADF;
        if (int e = ApplyDeviceControl(fd_, dcb)) return e;
        std::lock_guard guard(lock_);
        rx_.SetCharacters(dcb);
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
                if (abortedWaiters_ > 0 && --abortedWaiters_ == 0) ResetEventFd(abortFd_);
                return FailTransfer(t, shut_ ? EBADF : ECANCELED);
            }
            if (pollError != 0 && pollError != EINTR) return FailTransfer(t, pollError);
            if (t.isRead) {
                ResetEventFd(queueFd_);
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
            rx_.Clear();
        }
        if (output && ::ioctl(fd_, TCFLSH, TCOFLUSH) != 0) return errno;
        return 0;
    }

    int SetBreak(bool on) override {
        const Use use(*this);
        if (!use) return EBADF;
        return breakRequest_(fd_, on ? TIOCSBRK : TIOCCBRK);
    }

    int ClearErrors(std::uint32_t& errors, int& inQueue) override {
        const Use use(*this);
        if (!use) return EBADF;
        std::lock_guard guard(lock_);
        // Errors of the bytes this query moves in are left to the next one and
        // to their event: a count taken for OnRxChar must not swallow them.
        errors = rx_.TakeErrors() | events_.TakeErrors(fd_);
        bool arrived = false;
        if (int e = Drain(arrived)) return e;
        if (arrived) NoteArrival();
        inQueue = static_cast<int>(rx_.Size());
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
        events_.SetMask(mask);
    }

    WaitResult WaitEvent(int stopFd, std::uint32_t& events) override {
        const Use use(*this);
        if (!use) return WaitResult::Failed;
        const WaitResult result = events_.Wait(lock_, shut_, fd_, stopFd, events, [this] {
            bool arrived = false;
            return Drain(arrived);
        });
        if (result == WaitResult::Gone) gone_ = true;
        return result;
    }

    // A removed adapter's tty is hung up, as is a pseudo-terminal whose far
    // end closed: every later call fails.
    bool Gone(int error) override {
        if (gone_ || GoneDeviceCode(error)) return true;
        const Use use(*this);
        return use && events_.HungUp(fd_);
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
            events_.Wake();
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
        if (haveSavedSettings_) ::ioctl(fd_, TCSETS2, &savedSettings_);
        lowLatency_.Restore(fd_);
        ReleaseTty(fd_);
        if (abortFd_ >= 0) ::close(abortFd_);
        if (queueFd_ >= 0) ::close(queueFd_);
        events_.Release();
        released_ = true;
    }

    // Transfers started before this moment end with ECANCELED; those waiting
    // are woken. The lock is held.
    void AbortWaiters() {
        ++abortGeneration_;
        if (waiters_ > 0) {
            abortedWaiters_ = waiters_;
            SignalEventFd(abortFd_);
        }
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
            if (arrived && rx_.Size() > 0) NoteArrival();
            // Nothing more can come from a tty whose far end is gone.
            if (!arrived && rx_.Size() == 0 && events_.HungUp(fd_)) {
                if (t.done == 0) return FailTransfer(t, EIO);
                t.completed = true;
            }
        }
        const auto now = Clock::now();
        if (t.done > before) t.lastByte = now;
        if (ReadFinished(t, now)) t.completed = true;
        // Another waiting reader may want what is left.
        if (waiters_ > 0 && rx_.Size() > 0) SignalEventFd(queueFd_);
        return 0;
    }

    void Take(Transfer& t) {
        const std::size_t n = rx_.Take(t.readBuffer + t.done, static_cast<std::size_t>(t.count - t.done));
        t.done += static_cast<int>(n);
        // Nothing is left to announce.
        if (n > 0 && rx_.Size() == 0) events_.Withdraw(EV_RXCHAR);
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
                events_.OutputStarted();
            }
        }
        return 0;
    }

    // Moves what the tty holds into the queue and raises the events of the
    // arrivals; waiting readers are told. The lock is held.
    int Drain(bool& arrived) {
        const std::size_t before = rx_.Size();
        std::uint32_t raised = 0;
        const int result = rx_.Fill(fd_, raised);
        events_.Raise(raised);
        arrived = rx_.Size() > before;
        if (arrived && waiters_ > 0) SignalEventFd(queueFd_);
        return result;
    }

    // Bytes that a caller moved into the queue are announced like any others:
    // the monitoring thread, unless it is the caller, is woken for them.
    void NoteArrival() {
        if (events_.Pending(EV_RXCHAR)) events_.WakeMonitor();
    }

    const int fd_;
    const int abortFd_;  // ends transfers in progress
    const int queueFd_;  // tells waiting readers that bytes were queued
    std::atomic<bool> shut_{false};
    std::atomic<bool> gone_{false};
    std::mutex useLock_;
    std::condition_variable idle_;
    int users_ = 0;
    bool released_ = false;
    termios2 savedSettings_{};
    bool haveSavedSettings_ = false;

    std::mutex lock_;
    RxQueue rx_;
    LineEvents events_;
    LowLatency lowLatency_;
    std::function<int(int, unsigned long)> breakRequest_ = [](int fd, unsigned long request) {
        return ::ioctl(fd, request) == 0 ? 0 : errno;
    };
    CommTimeouts timeouts_{};
    std::uint64_t abortGeneration_ = 0;
    int waiters_ = 0;
    int abortedWaiters_ = 0;
};

}  // namespace

std::shared_ptr<SerialDevice> OpenPosixDevice(const std::string& path, int& error,
                                              const PosixDeviceOptions& options) {
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
    if (int e = device->Initialise(path, options)) {
        error = e;
        return nullptr;
    }
    return device;
}

}  // namespace serial::device
