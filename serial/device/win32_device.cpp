// The COM device through kernel32: configuration records passed as the port
// builds them, overlapped reads and writes each with its own event, and the
// line-event wait with WaitCommEvent beside the stop event.
//
// Threads: the monitoring thread alone calls WaitEvent; transfers, line
// control and queries come from any thread (the system serialises calls on
// one handle). Shutdown may run on any thread; it waits until the calls in
// progress have left before the handle is closed.
#include "serial/device/win32_device.h"

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <set>

#include "core/text/win32_text.h"
#include "serial/device/timing.h"

namespace serial::device {

namespace {

static_assert(sizeof(DeviceControlBlock) == sizeof(DCB), "the port's record is the system's DCB");
static_assert(sizeof(CommTimeouts) == sizeof(COMMTIMEOUTS), "the port's record is the system's COMMTIMEOUTS");

// An overlapped block with its completion event (manual reset).
struct Overlapped {
    OVERLAPPED block{};
    Overlapped() { block.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr); }
    ~Overlapped() {
        if (block.hEvent) CloseHandle(block.hEvent);
    }
    Overlapped(const Overlapped&) = delete;
    Overlapped& operator=(const Overlapped&) = delete;
};

int LastError() { return static_cast<int>(GetLastError()); }

class Win32Device final : public SerialDevice {
public:
    explicit Win32Device(HANDLE handle) : handle_(handle) {}
    ~Win32Device() override {
        if (handle_ != INVALID_HANDLE_VALUE) Release();
    }
    bool Valid() const { return wait_.block.hEvent != nullptr; }

    int SetQueueSizes(std::int32_t input, std::int32_t output) override {
        return Call([&] { return SetupComm(handle_, DWORD(input), DWORD(output)); });
    }

    int SetState(const DeviceControlBlock& record) override {
        DCB dcb;
        std::memcpy(&dcb, &record, sizeof dcb);
        return Call([&] { return SetCommState(handle_, &dcb); });
    }

    int SetTimeouts(const CommTimeouts& record) override {
        COMMTIMEOUTS timeouts;
        std::memcpy(&timeouts, &record, sizeof timeouts);
        const int e = Call([&] { return SetCommTimeouts(handle_, &timeouts); });
        if (e == 0) returnAtOnce_ = record.ReadIntervalTimeout == kMaxDword &&
                                    record.ReadTotalTimeoutMultiplier == 0 && record.ReadTotalTimeoutConstant == 0;
        return e;
    }

    int StartRead(Transfer& t, std::uint8_t* buffer, int count) override {
        t.isRead = true;
        return Start(t, count, [&](DWORD n, OVERLAPPED* block) {
            // Under "return at once" a read asks only for what is waiting, so
            // that it completes at once also where the driver would wait.
            if (returnAtOnce_) {
                DWORD errors = 0;
                COMSTAT stat{};
                if (!ClearCommErrorKeeping(errors, stat)) return FALSE;
                n = std::min<DWORD>(n, stat.cbInQue);
            }
            return ReadFile(handle_, buffer, n, nullptr, block);
        });
    }

    int StartWrite(Transfer& t, const std::uint8_t* data, int count) override {
        t.isRead = false;
        return Start(t, count, [&](DWORD n, OVERLAPPED* block) { return WriteFile(handle_, data, n, nullptr, block); });
    }

    int Await(Transfer& t) override {
        if (t.completed) return t.error;
        auto op = std::static_pointer_cast<Overlapped>(t.pending);
        DWORD n = 0;
        const bool ok = WaitForSingleObject(op->block.hEvent, INFINITE) == WAIT_OBJECT_0 &&
                        GetOverlappedResult(handle_, &op->block, &n, FALSE);
        // A read ended by its timeouts completes with what it got; Wine
        // reports it as ERROR_TIMEOUT.
        const int error = ok || GetLastError() == ERROR_TIMEOUT ? 0 : LastError();
        Finish(t, n);
        return error ? FailTransfer(t, error) : 0;
    }

    int Abort() override { return Call([&] { return PurgeComm(handle_, PURGE_TXABORT | PURGE_RXABORT); }); }

    int Purge(bool input, bool output) override {
        const DWORD flags = (input ? PURGE_RXCLEAR : 0) | (output ? PURGE_TXCLEAR : 0);
        return Call([&] { return PurgeComm(handle_, flags); });
    }

    int SetBreak(bool on) override {
        return Call([&] { return EscapeCommFunction(handle_, on ? SETBREAK : CLRBREAK); });
    }

    int ClearErrors(std::uint32_t& errors, int& inQueue) override {
        DWORD flags = 0;
        COMSTAT stat{};
        const int e = Call([&] { return ClearCommErrorKeeping(flags, stat); });
        errors = flags;
        inQueue = static_cast<int>(stat.cbInQue);
        return e;
    }

    int ModemStatus(std::uint32_t& status) override {
        DWORD lines = 0;
        const int e = Call([&] { return GetCommModemStatus(handle_, &lines); });
        status = lines;
        // A port without modem lines (Wine's on a pseudo-terminal) has them all off.
        return e == ERROR_NOT_SUPPORTED ? 0 : e;
    }

    void SetEventMask(std::uint32_t mask) override {
        Call([&] {
            SetCommMask(handle_, mask);  // result not examined
            return TRUE;
        });
    }

    WaitResult WaitEvent(int stopFd, std::uint32_t& events) override {
        const Use use(*this);
        if (!use) return WaitResult::Failed;
        for (;;) {
            if (!waitPending_) {
                waitMask_ = 0;
                // A refusal other than "pending" would complete every later
                // wait at once: the device is gone, monitoring ends.
                if (!WaitCommEvent(handle_, &waitMask_, &wait_.block) && GetLastError() != ERROR_IO_PENDING)
                    return WaitResult::Failed;
                waitPending_ = true;
            }
            const HANDLE handles[2] = {LongToHandle(stopFd), wait_.block.hEvent};
            const DWORD which = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
            if (which != WAIT_OBJECT_0 + 1) return which == WAIT_OBJECT_0 ? WaitResult::Stopped : WaitResult::Failed;
            DWORD unused = 0;
            const bool ok = GetOverlappedResult(handle_, &wait_.block, &unused, FALSE);
            if (!ok && GetLastError() == ERROR_IO_INCOMPLETE) continue;
            waitPending_ = false;
            if (shut_) return WaitResult::Failed;
            // A failed completion skips the cycle; an empty mask (Wine
            // completes a wait so now and then) simply waits again.
            events = waitMask_;
            if (ok && events != 0) return WaitResult::Events;
        }
    }

    void Shutdown() override {
        {
            std::lock_guard guard(useLock_);
            if (shut_) return;
            shut_ = true;
        }
        // Pending transfers complete as aborted and a pending line-event wait
        // completes, so every call in progress returns.
        PurgeComm(handle_, PURGE_TXABORT | PURGE_RXABORT);
        SetCommMask(handle_, 0);
        std::unique_lock guard(useLock_);
        idle_.wait(guard, [&] { return users_ == 0; });
        Release();
    }

private:
    // Holds off the closing of the handle for the length of one call; false
    // once the device is shut down.
    class Use {
    public:
        explicit Use(Win32Device& device) : device_(device) {
            std::lock_guard guard(device_.useLock_);
            entered_ = !device_.shut_;
            if (entered_) ++device_.users_;
        }
        ~Use() {
            if (!entered_) return;
            std::lock_guard guard(device_.useLock_);
            if (--device_.users_ == 0) device_.idle_.notify_all();
        }
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;
        explicit operator bool() const { return entered_; }

    private:
        Win32Device& device_;
        bool entered_ = false;
    };

    // Runs one call that returns a BOOL: 0, or its GetLastError().
    template <typename F>
    int Call(F call) {
        const Use use(*this);
        if (!use) return ERROR_INVALID_HANDLE;
        return call() ? 0 : LastError();
    }

    BOOL ClearCommErrorKeeping(DWORD& errors, COMSTAT& stat) { return ClearCommError(handle_, &errors, &stat); }

    // Starts an overlapped transfer: accepted when the call succeeds or is
    // pending; a transfer that completed at once is finished here.
    template <typename F>
    int Start(Transfer& t, int count, F call) {
        const Use use(*this);
        t.started = true;
        t.completed = false;
        t.error = 0;
        t.count = count;
        t.done = 0;
        if (!use) return FailTransfer(t, ERROR_INVALID_HANDLE);
        auto op = std::make_shared<Overlapped>();
        if (!op->block.hEvent) return FailTransfer(t, LastError());
        t.pending = op;
        {
            std::lock_guard guard(pendingLock_);
            inFlight_.insert(op);
        }
        if (!call(static_cast<DWORD>(std::max(count, 0)), &op->block) && GetLastError() != ERROR_IO_PENDING) {
            const int error = LastError();
            Finish(t, 0);
            return FailTransfer(t, error);
        }
        // Completed at once: the count is there without waiting.
        DWORD n = 0;
        if (HasOverlappedIoCompleted(&op->block) && GetOverlappedResult(handle_, &op->block, &n, FALSE)) Finish(t, n);
        return 0;
    }

    void Finish(Transfer& t, DWORD n) {
        t.done = static_cast<int>(n);
        t.completed = true;
        std::lock_guard guard(pendingLock_);
        inFlight_.erase(std::static_pointer_cast<Overlapped>(t.pending));
        t.pending.reset();
    }

    // Every overlapped block the system still writes to is waited for before
    // the handle goes.
    void Release() {
        CancelIoEx(handle_, nullptr);
        DWORD unused = 0;
        if (waitPending_) GetOverlappedResult(handle_, &wait_.block, &unused, TRUE);
        {
            std::lock_guard guard(pendingLock_);
            for (const auto& op : inFlight_) GetOverlappedResult(handle_, &op->block, &unused, TRUE);
            inFlight_.clear();
        }
        CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

    HANDLE handle_;
    TimerResolution timer_;
    std::atomic<bool> returnAtOnce_{false};

    std::mutex useLock_;
    std::condition_variable idle_;
    int users_ = 0;
    std::atomic<bool> shut_{false};

    // The monitoring thread's wait, which may outlast one WaitEvent call.
    Overlapped wait_;
    DWORD waitMask_ = 0;
    bool waitPending_ = false;

    std::mutex pendingLock_;
    std::set<std::shared_ptr<Overlapped>> inFlight_;
};

}  // namespace

TimerResolution::TimerResolution() : granted_(timeBeginPeriod(1) == TIMERR_NOERROR) {}

TimerResolution::~TimerResolution() {
    if (granted_) timeEndPeriod(1);
}

std::shared_ptr<SerialDevice> OpenWin32Device(const std::string& path, int& error) {
    HANDLE handle = CreateFileW(core::WideText(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = LastError();
        return nullptr;
    }
    auto device = std::make_shared<Win32Device>(handle);
    if (!device->Valid()) {
        error = LastError();
        return nullptr;
    }
    return device;
}

}  // namespace serial::device
