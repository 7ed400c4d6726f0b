// Waiting for line events on a tty. The events that arrivals and writes raise
// are collected here for the monitoring thread, which sleeps in poll between
// them. Modem lines, error counters and the end of output cannot be waited
// for together with the input, so while their events are wanted they are
// looked at on a short period. Not synchronised: the device's lock guards
// everything but the sleep.
#pragma once

#include <linux/serial.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "serial/device/device.h"

namespace serial::device {

// Event file descriptors: signal makes one readable, reset takes that back.
void SignalEventFd(int efd);
void ResetEventFd(int efd);

class LineEvents {
public:
    LineEvents();
    ~LineEvents();
    LineEvents(const LineEvents&) = delete;
    LineEvents& operator=(const LineEvents&) = delete;
    bool Valid() const { return wakeFd_ >= 0; }
    // Closes the wake descriptor; nothing may be used afterwards.
    void Release();

    // Takes the first readings of the tty's modem lines and error counters;
    // their changes are events from then on. Only real ports have them.
    void Start(int tty);

    void SetMask(std::uint32_t mask);
    // Adds those of `events` in the mask to what the next wait reports.
    void Raise(std::uint32_t events) { pending_ |= events & mask_; }
    void Withdraw(std::uint32_t events) { pending_ &= ~events; }
    bool Pending(std::uint32_t events) const { return (pending_ & events) != 0; }
    // Wakes the monitoring thread for events another thread raised.
    void WakeMonitor();
    // Wakes it whoever calls (to see the device shut down).
    void Wake() { SignalEventFd(wakeFd_); }
    // Bytes went out: the end of output is looked for while it is wanted.
    void OutputStarted();

    // The CE_ bits of the driver's error counters since the last call, and
    // CE_IOE once after the far end went away.
    std::uint32_t TakeErrors(int tty);
    // True once the far end of the tty is gone: nothing more can come.
    bool HungUp(int tty) const;

    // The monitoring thread's wait: until masked events are pending (returned
    // in `events`), `stopFd` becomes readable, or `shut` is set; a readable
    // `stopFd` wins over pending events. Gone once the tty has hung up (its
    // device was removed, or the far end of a pseudo-terminal closed) and
    // the events before it have been reported. `lock` is the
    // device's lock; it is held while the pending events are looked at and
    // while `drain` moves what the tty holds into the queue (0 or errno).
    WaitResult Wait(std::mutex& lock, const std::atomic<bool>& shut, int tty, int stopFd, std::uint32_t& events,
                    const std::function<int()>& drain);

private:
    bool WatchingLines() const;
    void CheckLines(int tty);
    bool CheckOutputDrained(int tty);

    int wakeFd_ = -1;
    std::atomic<std::thread::id> monitorThread_{};
    std::uint32_t mask_ = 0;
    std::uint32_t pending_ = 0;
    bool outputPending_ = false;
    std::atomic<bool> hungUp_{false};
    bool ioError_ = false;  // the hang-up, until an error query took it
    // Watched for events.
    bool modemLinesSupported_ = false;
    int watchedLines_ = 0;
    bool watchedCountersSupported_ = false;
    serial_icounter_struct watchedCounters_{};
    // Compared at each error query.
    bool countersSupported_ = true;
    bool haveCounters_ = false;
    serial_icounter_struct counters_{};
};

}  // namespace serial::device
