// The monitoring thread's wait for line events on a COM device: the driver's
// WaitCommEvent beside the stop event, kept safe from drivers that misbehave.
// - No turn without a block: a wait that is refused, fails, is cancelled, is
//   signalled while still incomplete, or completes with nothing to report is
//   followed by a pause of 1 ms (the engine's poll) before the next one; only
//   the first such wait after an event is retried at once, because Windows
//   completes it at once for bytes that the handler has already read.
// - Bytes in the input queue that no event announced are announced: those
//   that arrived while the handler ran (Windows keeps their event for the
//   next wait, Wine may not) and those that a purge, a break, a timed-out
//   read or a failed wait left unannounced.
// - A pending wait is not trusted blindly: every 10 ms the input queue is
//   looked at, and bytes that the wait has not reported are announced.
// - Where the waits keep completing with nothing (a port without modem lines
//   under Wine, some virtual COM drivers) or keep missing bytes that arrived
//   (Wine's with modem lines), the input queue's count is watched every
//   millisecond instead; every few milliseconds once the line has been
//   quiet for a second (nothing came, nothing was read, written or purged),
//   so that an idle port costs next to nothing. After some seconds of that
//   the driver's waits are tried again, and left again for twice as long
//   when they still misbehave.
// - A device that went away (a USB adapter pulled out) fails its queries and
//   its waits with the codes of GoneDeviceCode; the wait then reports it once
//   the events before it are reported, rather than polling it for ever.
//
// Threads: Wait and Collect on the monitoring thread (Collect also from the
// closing thread once the monitoring thread has left); the rest from any.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "serial/device/device.h"
// After the device layer's names, which the system's header also defines.
#include <windows.h>

namespace serial::device {

class LineWait {
public:
    // Asks for the input queue's count; 0 or the system's error code.
    using QueueCount = std::function<int(int& inQueue)>;

    LineWait(HANDLE device, QueueCount queueCount);
    ~LineWait();
    LineWait(const LineWait&) = delete;
    LineWait& operator=(const LineWait&) = delete;

    // The events (EV_ bits) the next waits report; SetCommMask is the caller's.
    void SetMask(std::uint32_t mask) { mask_ = mask; }
    // A read or a purge took bytes from the queue: what stays is news.
    void NoteInputTaken() { ++taken_; }
    // A write or a break: the unit may answer, the line is no longer quiet.
    void NoteLineUsed() { ++used_; }
    // A query other than the error event's cleared line errors: the error
    // event is due.
    void NoteErrorsCleared() { errorsDue_ = true; }

    // Until masked events occurred (in `events`) or `stop` is signalled;
    // Failed only once `shut` is set; Gone once the device went away (its
    // queries and waits refused with the codes of a removed device).
    WaitResult Wait(HANDLE stop, std::uint32_t& events, const std::atomic<bool>& shut);

    // Waits for every wait the system may still write to; after the waits
    // were made to complete (SetCommMask, CancelIoEx) and before the device
    // handle is closed.
    void Collect();

    // True once the waits are no longer trusted and the queue is watched.
    bool Polling() const { return polling_; }

private:
    struct PendingWait;
    enum class Outcome { Events, Nothing, Look, Stopped, Gone };

    std::uint32_t Unannounced(std::uint64_t taken, int& inQueue, bool& gone);
    Outcome DriverWait(HANDLE stop, std::uint32_t& got);
    Outcome Failure(DWORD error);
    bool NothingAgain();
    void Retire();
    void Missed();
    void Distrust();
    bool TrustAgain();
    void Reported(std::uint64_t taken, int inQueue);
    bool Pause(HANDLE stop, DWORD ms);
    bool Quiet(std::uint64_t taken);

    const HANDLE device_;
    const QueueCount queueCount_;
    std::atomic<std::uint32_t> mask_{0};
    std::atomic<std::uint64_t> taken_{0};
    std::atomic<std::uint64_t> used_{0};
    std::atomic<bool> errorsDue_{false};

    std::unique_ptr<PendingWait> wait_;
    bool pending_ = false;
    // Waits given up while the system still held them.
    std::vector<std::unique_ptr<PendingWait>> retired_;
    unsigned pauses_ = 0;
    int nothingInARow_ = 0;
    // When the last pending waits missed bytes, oldest first; 0 for none.
    static constexpr int kDistrustAfterMisses = 3;
    ULONGLONG missedAt_[kDistrustAfterMisses] = {};
    // The queue watch: since when, for how long, and when the driver's
    // waits were last trusted again.
    ULONGLONG watchedSince_ = 0;
    ULONGLONG watchFor_ = 0;
    ULONGLONG trustedSince_ = 0;
    ULONGLONG runStart_ = 0;
    std::atomic<bool> polling_{false};
    // What the last report left in the queue, and the reads before it.
    int reportedCount_ = 0;
    std::uint64_t reportedTaken_ = 0;
    // The last sign of life on the line: when, and the reads, purges,
    // writes and breaks counted together then.
    ULONGLONG lastActive_ = 0;
    std::uint64_t activeSigns_ = 0;
};

}  // namespace serial::device
