// The COM device through kernel32: configuration records passed as the port
// builds them, overlapped reads and writes each with its own event, and the
// line-event wait (win32_line_wait.h). The device control block and the
// timeouts found at the opening are put back at the closing, as the POSIX
// backend puts back a terminal's settings.
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

#include "core/platform/fine_timer_win32.h"
#include "core/text/win32_text.h"
#include "serial/device/timing.h"
#include "serial/device/win32_comm_calls.h"
#include "serial/device/win32_comm_check.h"
#include "serial/device/win32_line_wait.h"

namespace serial::device {

namespace {

static_assert(sizeof(DeviceControlBlock) == sizeof(DCB), "the port's record is the system's DCB");
static_assert(sizeof(CommTimeouts) == sizeof(COMMTIMEOUTS), "the port's record is the system's COMMTIMEOUTS");

// How long a read under "return at once" may stay pending before it is
// cancelled (see Await).
constexpr DWORD kReturnAtOnceGraceMs = 10;

// An overlapped block with its completion event (manual reset).
struct Overlapped {
    OVERLAPPED block{};
    bool returnsAtOnce = false;  // a read under "return at once"
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
    explicit Win32Device(HANDLE handle)
        : handle_(handle), lineWait_(handle, [this](int& inQueue) { return QueueCount(inQueue); }) {
        saved_.DCBlength = sizeof saved_;
        haveSaved_ = Comm().getCommState(handle_, &saved_) && Comm().getCommTimeouts(handle_, &savedTimeouts_);
    }
    ~Win32Device() override {
        if (handle_ != INVALID_HANDLE_VALUE) Release();
    }

    int SetQueueSizes(std::int32_t input, std::int32_t output) override {
        return Call([&] { return SetupComm(handle_, DWORD(input), DWORD(output)); });
    }

    int SetState(const DeviceControlBlock& record) override {
        DCB dcb;
        std::memcpy(&dcb, &record, sizeof dcb);
        return Call([&] { return Comm().setCommState(handle_, &dcb); });
    }

    int SetTimeouts(const CommTimeouts& record) override {
        COMMTIMEOUTS timeouts;
        std::memcpy(&timeouts, &record, sizeof timeouts);
        const int e = Call([&] { return Comm().setCommTimeouts(handle_, &timeouts); });
        if (e == 0) returnAtOnce_ = record.ReadIntervalTimeout == kMaxDword &&
                                    record.ReadTotalTimeoutMultiplier == 0 && record.ReadTotalTimeoutConstant == 0;
        return e;
    }

    int StartRead(Transfer& t, std::uint8_t* buffer, int count) override {
        t.isRead = true;
        // Nothing waiting under "return at once": done with 0 bytes without
        // a system transfer. Its event and overlapped read would cost the
        // engine's polls round trips to Wine's server, whose delays under
        // load held back the next byte sent by tens of milliseconds.
        const bool returnsAtOnce = returnAtOnce_;
        if (returnsAtOnce && count > 0 && NothingWaiting()) {
            t.started = true;
            t.completed = true;
            t.error = 0;
            t.count = count;
            t.done = 0;
            return 0;
        }
        return Start(t, count, [&](DWORD n, Overlapped& op) {
            // Under "return at once" a read asks only for what is waiting, so
            // that it completes at once also where the driver would wait.
            op.returnsAtOnce = returnsAtOnce;
            if (returnsAtOnce) {
                DWORD errors = 0;
                COMSTAT stat{};
                if (!ClearCommErrorKeeping(errors, stat)) return FALSE;
                n = std::min<DWORD>(n, stat.cbInQue);
            }
            return Comm().readFile(handle_, buffer, n, nullptr, &op.block);
        });
    }

    int StartWrite(Transfer& t, const std::uint8_t* data, int count) override {
        t.isRead = false;
        lineWait_.NoteLineUsed();
        return Start(t, count,
                     [&](DWORD n, Overlapped& op) { return Comm().writeFile(handle_, data, n, nullptr, &op.block); });
    }

    int Await(Transfer& t) override {
        if (t.completed) return t.error;
        auto op = std::static_pointer_cast<Overlapped>(t.pending);
        // A read under "return at once" asked only for bytes that were
        // waiting; if it still pends, they went in between (a purge, another
        // reader). Windows completes such a read with what there is; Wine
        // keeps it pending until new bytes come, which would hold the caller,
        // and a closing that waits for it, for ever. It is cancelled and ends
        // with what it got.
        bool cancelled = false;
        if (op->returnsAtOnce && WaitForSingleObject(op->block.hEvent, kReturnAtOnceGraceMs) == WAIT_TIMEOUT) {
            cancelled = CancelIoEx(handle_, &op->block);
        }
        DWORD n = 0;
        const bool ok = WaitForSingleObject(op->block.hEvent, INFINITE) == WAIT_OBJECT_0 &&
                        GetOverlappedResult(handle_, &op->block, &n, FALSE);
        // A read ended by its timeouts completes with what it got; Wine
        // reports it as ERROR_TIMEOUT.
        const DWORD why = ok ? 0 : GetLastError();
        const bool complete = ok || why == ERROR_TIMEOUT || (cancelled && why == ERROR_OPERATION_ABORTED);
        Finish(t, n);
        if (complete) return 0;
        // Aborted by the driver, not by Abort or the closing: its device may be gone.
        if (why != ERROR_OPERATION_ABORTED || (t.abortGeneration == aborts_ && !shut_)) Note(static_cast<int>(why));
        return FailTransfer(t, static_cast<int>(why));
    }

    int Abort() override {
        ++aborts_;
        return Call([&] { return Comm().purgeComm(handle_, PURGE_TXABORT | PURGE_RXABORT); });
    }

    int Purge(bool input, bool output) override {
        const DWORD flags = (input ? PURGE_RXCLEAR : 0) | (output ? PURGE_TXCLEAR : 0);
        const int e = Call([&] { return Comm().purgeComm(handle_, flags); });
        if (input) lineWait_.NoteInputTaken();
        return e;
    }

    int SetBreak(bool on) override {
        lineWait_.NoteLineUsed();
        return Call([&] { return Comm().escapeCommFunction(handle_, on ? SETBREAK : CLRBREAK); });
    }

    // The line errors since the last call: also those that the backend's own
    // queries cleared meanwhile.
    int ClearErrors(std::uint32_t& errors, int& inQueue) override {
        DWORD flags = 0;
        COMSTAT stat{};
        const int e = Call([&] { return Comm().clearCommError(handle_, &flags, &stat); });
        errors = keptErrors_.exchange(0) | (e == 0 ? flags : 0);
        inQueue = static_cast<int>(stat.cbInQue);
        return e;
    }

    int ModemStatus(std::uint32_t& status) override {
        DWORD lines = 0;
        const int e = Call([&] { return Comm().getCommModemStatus(handle_, &lines); });
        status = lines;
        // A port without modem lines (Wine's on a pseudo-terminal) has them all off.
        return e == ERROR_NOT_SUPPORTED ? 0 : e;
    }

    void SetEventMask(std::uint32_t mask) override {
        lineWait_.SetMask(mask);
        Call([&] {
            Comm().setCommMask(handle_, mask);  // result not examined
            return TRUE;
        });
    }

    WaitResult WaitEvent(int stopFd, std::uint32_t& events) override {
        const Use use(*this);
        if (!use) return WaitResult::Failed;
        const WaitResult result = lineWait_.Wait(LongToHandle(stopFd), events, shut_);
        if (result == WaitResult::Gone) gone_ = true;
        return result;
    }

    // Noted by the calls that failed so: a removed adapter's handle stays
    // valid, and every call on it fails with one of GoneDeviceCode's codes.
    bool Gone(int) override { return gone_; }

    void Shutdown() override {
        {
            std::lock_guard guard(useLock_);
            if (shut_) return;
            shut_ = true;
        }
        ++aborts_;
        // Pending transfers complete as aborted and a pending line-event wait
        // completes, so every call in progress returns. A device that went
        // away refuses both; its calls have failed already.
        Comm().purgeComm(handle_, PURGE_TXABORT | PURGE_RXABORT);
        Comm().setCommMask(handle_, 0);
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
        return call() ? 0 : Note(LastError());
    }

    // A call failed with `error`: the device is taken as gone when the code
    // is one of a removed device and the input queue's count is refused so
    // too (a single refusal may be the driver's, for that call). Returns `error`.
    int Note(int error) {
        if (gone_ || !GoneDeviceCode(error)) return error;
        const Use use(*this);
        DWORD flags = 0;
        COMSTAT stat{};
        if (use && !ClearCommErrorKeeping(flags, stat) && GoneDeviceCode(LastError())) gone_ = true;
        return error;
    }

    bool NothingWaiting() {
        const Use use(*this);
        DWORD errors = 0;
        COMSTAT stat{};
        return use && ClearCommErrorKeeping(errors, stat) && stat.cbInQue == 0;
    }

    // ClearCommError for the backend's own use: the line errors it clears are
    // kept for ClearErrors, and their event is due.
    BOOL ClearCommErrorKeeping(DWORD& errors, COMSTAT& stat) {
        if (!Comm().clearCommError(handle_, &errors, &stat)) return FALSE;
        if (errors != 0) {
            keptErrors_ |= errors;
            lineWait_.NoteErrorsCleared();
        }
        return TRUE;
    }

    int QueueCount(int& inQueue) {
        DWORD errors = 0;
        COMSTAT stat{};
        if (!ClearCommErrorKeeping(errors, stat)) return LastError();
        inQueue = static_cast<int>(stat.cbInQue);
        return 0;
    }

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
        t.abortGeneration = aborts_;
        if (!use) return FailTransfer(t, ERROR_INVALID_HANDLE);
        auto op = std::make_shared<Overlapped>();
        if (!op->block.hEvent) return FailTransfer(t, LastError());
        t.pending = op;
        {
            std::lock_guard guard(pendingLock_);
            inFlight_.insert(op);
        }
        if (!call(static_cast<DWORD>(std::max(count, 0)), *op) && GetLastError() != ERROR_IO_PENDING) {
            const int error = LastError();
            Finish(t, 0);
            return FailTransfer(t, Note(error));
        }
        // Completed at once: the count is there without waiting.
        DWORD n = 0;
        if (HasOverlappedIoCompleted(&op->block) && GetOverlappedResult(handle_, &op->block, &n, FALSE)) Finish(t, n);
        return 0;
    }

    void Finish(Transfer& t, DWORD n) {
        t.done = static_cast<int>(n);
        t.completed = true;
        if (t.isRead && n > 0) lineWait_.NoteInputTaken();
        std::lock_guard guard(pendingLock_);
        inFlight_.erase(std::static_pointer_cast<Overlapped>(t.pending));
        t.pending.reset();
    }

    // Every overlapped block the system still writes to is waited for before
    // the handle goes; the settings found at the opening go back first.
    void Release() {
        CancelIoEx(handle_, nullptr);
        DWORD unused = 0;
        lineWait_.Collect();
        {
            std::lock_guard guard(pendingLock_);
            for (const auto& op : inFlight_) GetOverlappedResult(handle_, &op->block, &unused, TRUE);
            inFlight_.clear();
        }
        if (haveSaved_) {
            Comm().setCommState(handle_, &saved_);
            Comm().setCommTimeouts(handle_, &savedTimeouts_);
        }
        CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

    HANDLE handle_;
    core::FineTimer timer_;
    std::atomic<bool> returnAtOnce_{false};

    std::mutex useLock_;
    std::condition_variable idle_;
    int users_ = 0;
    std::atomic<bool> shut_{false};
    std::atomic<bool> gone_{false};
    // Counts Abort and Shutdown: a transfer aborted since it started was aborted by us.
    std::atomic<std::uint64_t> aborts_{0};

    std::atomic<DWORD> keptErrors_{0};
    LineWait lineWait_;
    DCB saved_{};
    COMMTIMEOUTS savedTimeouts_{};
    bool haveSaved_ = false;

    std::mutex pendingLock_;
    std::set<std::shared_ptr<Overlapped>> inFlight_;
};

}  // namespace

std::shared_ptr<SerialDevice> OpenWin32Device(const std::string& path, int& error) {
    HANDLE handle = KeepIfCommDevice(CreateFileW(core::WideText(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                                 OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    if (handle == INVALID_HANDLE_VALUE) {
        error = LastError();
        return nullptr;
    }
    return std::make_shared<Win32Device>(handle);
}

}  // namespace serial::device
