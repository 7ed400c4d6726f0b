#include "serial/device/win32_line_wait.h"

#include <algorithm>

#include "serial/device/win32_comm_calls.h"

namespace serial::device {

namespace {

// The pause after a wait that gave nothing, the engine's own poll.
constexpr DWORD kPauseMs = 1;
// The queue watch's pause once the line has been quiet for kQuietAfterMs: a
// byte that then comes is announced a few milliseconds later at most. The
// unit speaks only after the tester wrote, broke or purged, which ends the
// quiet at once.
constexpr DWORD kQuietPauseMs = 4;
constexpr ULONGLONG kQuietAfterMs = 1000;
// Pauses between two looks at the stop event (closing waits that long at most).
constexpr unsigned kStopLookEvery = 8;
// Waits in a row that give nothing before the driver's waits are no longer
// trusted; a driver that works blocks until an event and never gets there.
constexpr int kDistrustAfter = 16;
// ... within this time (a working driver may complete a wait empty now and
// then, Wine does so once in a few hundred).
constexpr ULONGLONG kDistrustWithinMs = 1000;
// Waits given up but still held by the system before the waits are no
// longer trusted.
constexpr std::size_t kMostRetired = 8;
// How long closing waits for a given-up wait to be let go by the system.
constexpr int kRetiredGraceMs = 1000;
// How long a pending wait goes without a look at the input queue: bytes
// that its driver has not reported by then are announced all the same. The
// pump waits 100 ms for each answer; a wait that misses its bytes (seen
// under Wine with modem lines) would otherwise lose the link.
constexpr DWORD kLookEveryMs = 10;
// Pending waits that missed bytes (kDistrustAfterMisses) within this time
// before the waits are no longer trusted; a working driver completes the wait
// when the byte arrives, though now and then it counts a byte before it
// completes the wait.
constexpr ULONGLONG kMissesWithinMs = 10'000;
// How long the queue is watched before the driver's waits are tried again;
// twice as long each time they fail again within the time they were given.
constexpr ULONGLONG kFirstWatchMs = 5'000;
constexpr ULONGLONG kLongestWatchMs = 320'000;

}  // namespace

struct LineWait::PendingWait {
    OVERLAPPED block{};
    DWORD mask = 0;
    PendingWait() { block.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr); }
    ~PendingWait() {
        if (block.hEvent) CloseHandle(block.hEvent);
    }
    // Let go by the system: its status written and then its event set. A
    // status alone is not enough: Wine writes the rest of the block after it.
    bool Released() const {
        return HasOverlappedIoCompleted(&block) && WaitForSingleObject(block.hEvent, 0) == WAIT_OBJECT_0;
    }
};

LineWait::LineWait(HANDLE device, QueueCount queueCount)
    : device_(device), queueCount_(std::move(queueCount)), wait_(std::make_unique<PendingWait>()) {}

LineWait::~LineWait() = default;

WaitResult LineWait::Wait(HANDLE stop, std::uint32_t& events, const std::atomic<bool>& shut) {
    // The stop request comes first; within the loop every block also ends on it.
    if (WaitForSingleObject(stop, 0) == WAIT_OBJECT_0) return WaitResult::Stopped;
    bool looked = false;  // the pending wait went a whole look without completing
    for (;;) {
        if (shut) return WaitResult::Failed;
        // A read counted before the queue is looked at: one that ends in
        // between is news at the next turn, never lost.
        const std::uint64_t taken = taken_;
        int inQueue = 0;
        bool gone = false;
        if (const std::uint32_t news = Unannounced(taken, inQueue, gone)) {
            if (looked && (news & EV_RXCHAR) && pending_ && !HasOverlappedIoCompleted(&wait_->block)) Missed();
            events = news;
            Reported(taken, inQueue);
            return WaitResult::Events;
        }
        if (gone) return WaitResult::Gone;
        if (polling_ && !TrustAgain()) {
            if (Pause(stop, Quiet(taken) ? kQuietPauseMs : kPauseMs)) return WaitResult::Stopped;
            continue;
        }
        std::uint32_t got = 0;
        const Outcome outcome = DriverWait(stop, got);
        if (outcome == Outcome::Stopped) return WaitResult::Stopped;
        if (outcome == Outcome::Gone) return WaitResult::Gone;
        looked = outcome == Outcome::Look;
        if (looked) continue;
        if (outcome == Outcome::Events && (got & EV_RXCHAR)) {
            // Arrivals that a handler has read already leave nothing to report.
            if (queueCount_(inQueue) != 0 || inQueue == 0) got &= ~EV_RXCHAR;
        }
        got &= mask_;
        if (outcome == Outcome::Events && got != 0) {
            // Errors that a query cleared meanwhile go in the same batch,
            // whose error step comes before its arrivals.
            if ((mask_ & EV_ERR) && errorsDue_.exchange(false)) got |= EV_ERR;
            nothingInARow_ = 0;
            events = got;
            Reported(taken, inQueue);
            return WaitResult::Events;
        }
        if (NothingAgain()) Distrust();
        if (nothingInARow_ > 1 && Pause(stop, kPauseMs)) return WaitResult::Stopped;
    }
}

// Events that the driver's waits may not report: line errors that another
// query cleared, and bytes waiting that no report covered yet. `gone` when
// the count was refused as by a device that went away.
std::uint32_t LineWait::Unannounced(std::uint64_t taken, int& inQueue, bool& gone) {
    const std::uint32_t mask = mask_;
    std::uint32_t news = 0;
    if ((mask & EV_ERR) && errorsDue_.exchange(false)) news |= EV_ERR;
    if (!(mask & EV_RXCHAR)) return news;
    if (const int refused = queueCount_(inQueue)) {
        gone = GoneDeviceCode(refused);
        inQueue = 0;
        return news;
    }
    // What the last report left there, untouched since, was announced.
    if (inQueue > 0 && (inQueue != reportedCount_ || taken != reportedTaken_)) news |= EV_RXCHAR;
    if (inQueue == 0) reportedCount_ = 0;
    return news;
}

LineWait::Outcome LineWait::DriverWait(HANDLE stop, std::uint32_t& got) {
    if (!pending_) {
        wait_->mask = 0;
        ResetEvent(wait_->block.hEvent);
        if (Comm().waitCommEvent(device_, &wait_->mask, &wait_->block)) {
            got = wait_->mask;
            return Outcome::Events;
        }
        const DWORD refused = GetLastError();
        if (refused != ERROR_IO_PENDING) return Failure(refused);
        pending_ = true;
    }
    const HANDLE handles[2] = {stop, wait_->block.hEvent};
    const DWORD which = WaitForMultipleObjects(2, handles, FALSE, kLookEveryMs);
    if (which == WAIT_OBJECT_0) return Outcome::Stopped;
    if (which == WAIT_TIMEOUT) return Outcome::Look;
    if (which != WAIT_OBJECT_0 + 1) return Failure(GetLastError());
    DWORD unused = 0;
    if (!Comm().getOverlappedResult(device_, &wait_->block, &unused, FALSE)) {
        // Signalled yet incomplete: waiting on it again would return at once
        // for ever. The next turn starts a fresh wait.
        const DWORD failed = GetLastError();
        if (failed == ERROR_IO_INCOMPLETE) {
            Retire();
            return Outcome::Nothing;
        }
        // Completed as failed (aborted by the driver: the pending wait is
        // never cancelled here but by Retire, which gives it up first).
        pending_ = false;
        return Failure(failed);
    }
    pending_ = false;
    got = wait_->mask;
    return Outcome::Events;
}

// A wait that failed: the device's end when the failure is one of a device
// that went away and the input queue's count is refused so too (a driver
// whose waits alone fail, as after a glitch, keeps its port); else nothing.
LineWait::Outcome LineWait::Failure(DWORD error) {
    int inQueue = 0;
    const int counted = queueCount_(inQueue);
    return GoneDeviceCode(static_cast<int>(error)) && GoneDeviceCode(counted) ? Outcome::Gone : Outcome::Nothing;
}

// Counts a wait that gave nothing; true when such waits come in a run that
// says the driver's waits cannot be trusted.
bool LineWait::NothingAgain() {
    const ULONGLONG now = GetTickCount64();
    if (nothingInARow_ == 0 || now - runStart_ > kDistrustWithinMs) {
        nothingInARow_ = 0;
        runStart_ = now;
    }
    return ++nothingInARow_ >= kDistrustAfter;
}

// Gives the pending wait up; the system keeps its block until it completes.
void LineWait::Retire() {
    Comm().cancelIoEx(device_, &wait_->block);
    retired_.push_back(std::move(wait_));
    wait_ = std::make_unique<PendingWait>();
    pending_ = false;
    std::erase_if(retired_, [](const auto& w) { return w->Released(); });
    if (retired_.size() > kMostRetired) Distrust();
}

// A pending wait let waiting bytes go unreported for a whole look; a few
// such and the input queue is watched instead.
void LineWait::Missed() {
    const ULONGLONG now = GetTickCount64();
    std::rotate(missedAt_, missedAt_ + 1, missedAt_ + kDistrustAfterMisses);
    missedAt_[kDistrustAfterMisses - 1] = now;
    if (missedAt_[0] == 0 || now - missedAt_[0] > kMissesWithinMs) return;
    Retire();
    Distrust();
}

// The driver's waits are given up for the queue watch, for a while.
void LineWait::Distrust() {
    if (polling_) return;
    const ULONGLONG now = GetTickCount64();
    // Failed again within the time it was given: the watch lasts longer.
    watchFor_ = trustedSince_ != 0 && now - trustedSince_ < watchFor_
                    ? std::min(2 * watchFor_, kLongestWatchMs)
                    : kFirstWatchMs;
    watchedSince_ = now;
    polling_ = true;
}

// True when the watch has lasted its time and the driver's waits are tried
// again: a real driver's misses are races, and a virtual one may have been
// replaced by the real adapter.
bool LineWait::TrustAgain() {
    const ULONGLONG now = GetTickCount64();
    std::erase_if(retired_, [](const auto& w) { return w->Released(); });
    if (now - watchedSince_ < watchFor_ || retired_.size() > kMostRetired) return false;
    polling_ = false;
    trustedSince_ = now;
    nothingInARow_ = 0;
    std::fill(missedAt_, missedAt_ + kDistrustAfterMisses, 0);
    return true;
}

void LineWait::Reported(std::uint64_t taken, int inQueue) {
    reportedTaken_ = taken;
    reportedCount_ = inQueue;
    lastActive_ = GetTickCount64();
}

// True once nothing was announced, read, written or purged for a while.
bool LineWait::Quiet(std::uint64_t taken) {
    const ULONGLONG now = GetTickCount64();
    const std::uint64_t signs = taken + used_;  // both only grow
    if (signs != activeSigns_ || lastActive_ == 0) {
        activeSigns_ = signs;
        lastActive_ = now;
    }
    return now - lastActive_ > kQuietAfterMs;
}

// A sleep costs next to nothing, also under Wine, where a wait on the stop
// event is a round trip to its server: the stop is looked at every few pauses.
bool LineWait::Pause(HANDLE stop, DWORD ms) {
    Sleep(ms);
    return ++pauses_ % kStopLookEvery == 0 && WaitForSingleObject(stop, 0) == WAIT_OBJECT_0;
}

void LineWait::Collect() {
    // The pending wait is given up as the others: a driver that never lets
    // it go cannot hold the closing for ever.
    if (pending_) Retire();
    for (auto& w : retired_) {
        for (int ms = 0; ms < kRetiredGraceMs && !w->Released(); ++ms) Sleep(1);
        // A block the system never let go is left to it rather than freed.
        if (!w->Released()) w.release();
    }
    retired_.clear();
}

}  // namespace serial::device
