#include "core/platform/precise_wait_win32.h"

#include <algorithm>
#include <thread>

#include "core/platform/timer_calls_win32.h"

namespace core {

namespace {

// The system's headers before Windows 10 1803 lack it; older systems refuse it.
constexpr DWORD kHighResolutionTimer = 0x00000002;
// Sleeps are measured over this many recent samples; the worst of them counts.
constexpr int kSamples = 8;

// A wait may end this far past its time: a fraction of a millisecond.
LONGLONG Tolerance() { return TicksPerSecond() / 2000; }
// A sleep shorter than this is not worth one: the wait spins instead.
LONGLONG ShortestSleep() { return TicksPerSecond() / 4000; }
// A probe's lateness counts only when the thread looked at it this often
// (it spun meanwhile); a probe seen late says nothing about the timer.
LONGLONG SeenWithin() { return TicksPerSecond() / 4000; }
// A probe is due this long after it is armed: a sleep of the engine's poll.
LONGLONG ProbeLead() { return TicksPerSecond() / 1000; }

LARGE_INTEGER RelativeDueTime(LONGLONG ticks) {
    LARGE_INTEGER due;
    due.QuadPart = -std::max<LONGLONG>(1, ticks * 10'000'000 / TicksPerSecond());  // 100 ns units, relative
    return due;
}

class ThreadTimer {
public:
    ThreadTimer() : sleep_(MakeTimer()), probe_(MakeTimer()) {}
    ~ThreadTimer() {
        if (sleep_) CloseHandle(sleep_);
        if (probe_) CloseHandle(probe_);
    }
    ThreadTimer(const ThreadTimer&) = delete;
    ThreadTimer& operator=(const ThreadTimer&) = delete;

    // True when `wake` (if any) ended the wait.
    bool WaitUntil(LONGLONG deadline, HANDLE wake) {
        for (;;) {
            LONGLONG now = NowTicks();
            LookAtProbe(now);
            const LONGLONG left = deadline - now;
            if (left <= 0) return false;
            // Where sleeps come back late, a sleep ends that much before the deadline.
            const LONGLONG early = std::max<LONGLONG>(0, Lateness() - Tolerance());
            const LONGLONG sleepFor = left - early;
            if (sleepFor >= ShortestSleep()) {
                const Slept slept = SleepFor(now, sleepFor, early == 0 && spun_, wake);
                if (slept == Slept::Woken) return true;
                if (slept == Slept::Done) continue;
            }
            spun_ = spun_ || early > 0;
            if (!probeArmed_) ArmProbe();
            // Looking at the probe or the wake event asks the system, which
            // may take a while (Wine's server, on a busy machine): not in the
            // wait's last half millisecond. A wake then is seen at the
            // deadline, where the waiter looks at its state anyway.
            while ((now = NowTicks()) < deadline) {
                if (deadline - now > Tolerance()) {
                    LookAtProbe(now);
                    if (wake && Timers().waitForSingleObject(wake, 0) == WAIT_OBJECT_0) return true;
                }
                std::this_thread::yield();
            }
            return false;
        }
    }

private:
    static HANDLE MakeTimer() {
        HANDLE timer = Timers().createWaitableTimerExW(nullptr, nullptr, kHighResolutionTimer, TIMER_ALL_ACCESS);
        return timer ? timer : Timers().createWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    }

    enum class Slept { Done, Woken, Failed };

    // Sleeps `ticks` from `now`, or until `wake` is signalled, and learns
    // how late the sleep came back. Without a timer (the system had no
    // handle to give) it sleeps whole milliseconds, so that a long wait
    // still does not spin. A `trial` is the first sleep after the probes
    // said that sleeps are on time again.
    Slept SleepFor(LONGLONG now, LONGLONG ticks, bool trial, HANDLE wake) {
        const DWORD ms = static_cast<DWORD>(ticks * 1000 / TicksPerSecond());
        const LARGE_INTEGER due = RelativeDueTime(ticks);
        HANDLE both[] = {wake, sleep_};
        if (!sleep_) {
            if (ms < 1) return Slept::Failed;
            if (!wake) ::Sleep(ms);
            else if (const DWORD woke = Timers().waitForMultipleObjects(1, both, FALSE, ms); woke != WAIT_TIMEOUT)
                return woke == WAIT_OBJECT_0 ? Slept::Woken : Slept::Failed;
        } else if (!Timers().setWaitableTimer(sleep_, &due, 0, nullptr, nullptr, FALSE)) {
            return Slept::Failed;
        } else if (!wake) {
            if (Timers().waitForSingleObject(sleep_, INFINITE) != WAIT_OBJECT_0) return Slept::Failed;
        } else if (const DWORD woke = Timers().waitForMultipleObjects(2, both, FALSE, INFINITE);
                   woke != WAIT_OBJECT_0 + 1) {
            return woke == WAIT_OBJECT_0 ? Slept::Woken : Slept::Failed;
        }
        const LONGLONG lateness = NowTicks() - (now + ticks);
        Record(lateness);
        if (trial) Judge(now + ticks + lateness, lateness);
        spun_ = false;
        return Slept::Done;
    }

    // Probes can be on time where sleeps are not: a timer that fires when
    // somebody looks at it, as Wine's do. A trial that came back late holds
    // the probes' word off for a while, twice as long each time in a row;
    // meanwhile the late sleeps' samples stand.
    void Judge(LONGLONG now, LONGLONG lateness) {
        if (lateness <= Tolerance()) {
            hold_ = 0;
            return;
        }
        hold_ = std::clamp<LONGLONG>(2 * hold_, TicksPerSecond() / 10, 8 * TicksPerSecond());
        heldUntil_ = now + hold_;
    }

    void ArmProbe() {
        const LARGE_INTEGER due = RelativeDueTime(ProbeLead());
        const LONGLONG armedAt = NowTicks();
        if (!probe_ || !Timers().setWaitableTimer(probe_, &due, 0, nullptr, nullptr, FALSE)) return;
        probeArmed_ = true;
        probeDue_ = armedAt + ProbeLead();
        probeUnfiredAt_ = armedAt;
    }

    // A timer never fires early; seen right after it fired, its lateness is
    // what a sleep's would be.
    void LookAtProbe(LONGLONG now) {
        if (!probeArmed_) return;
        if (now < probeDue_ || Timers().waitForSingleObject(probe_, 0) != WAIT_OBJECT_0) {
            probeUnfiredAt_ = now;
            return;
        }
        probeArmed_ = false;
        if (now - probeUnfiredAt_ <= SeenWithin() && now >= heldUntil_) Record(now - probeDue_);
    }

    void Record(LONGLONG lateness) {
        samples_[next_] = std::max<LONGLONG>(0, lateness);
        next_ = (next_ + 1) % kSamples;
    }
    LONGLONG Lateness() const { return *std::max_element(samples_, samples_ + kSamples); }

    HANDLE sleep_;
    HANDLE probe_;
    LONGLONG samples_[kSamples] = {};
    int next_ = 0;
    bool probeArmed_ = false;
    LONGLONG probeDue_ = 0;
    LONGLONG probeUnfiredAt_ = 0;
    bool spun_ = false;  // the last wait spun because sleeps came back late
    LONGLONG hold_ = 0;
    LONGLONG heldUntil_ = 0;
};

}  // namespace

bool WaitUntilTicks(LONGLONG deadline, HANDLE wake) {
    thread_local ThreadTimer timer;
    return timer.WaitUntil(deadline, wake);
}

}  // namespace core
