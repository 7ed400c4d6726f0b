// The received-byte queue of a tty. Bytes are moved out of the tty into it as
// they arrive (the monitoring thread does it) or when a reader needs more, so
// that the kernel's level-triggered readiness never makes the monitoring
// thread spin on bytes a handler left unread, and "new bytes arrived" is
// reported once per arrival. Not synchronised: the device's lock guards it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "serial/device/device.h"

namespace serial::device {

class RxQueue {
public:
    // The input size asked for: the point at which the queue counts as 80 %
    // full, and the base of its limit.
    void SetInputSize(std::int32_t size) { inputSize_ = size; }
    // Null discarding, the event character and the replacement of bytes
    // received with errors, as the device-control record asks.
    void SetCharacters(const DeviceControlBlock& dcb);

    // Moves everything the tty holds into the queue, resolving the marks that
    // PARMRK puts before bytes with errors and breaks; `events` gains the EV_
    // bits the arrivals raise. Returns 0 or errno.
    int Fill(int tty, std::uint32_t& events);
    // Moves up to `max` of the oldest bytes to `out` and returns how many.
    std::size_t Take(std::uint8_t* out, std::size_t max);
    std::size_t Size() const { return bytes_.size() - head_; }
    // Discards what is queued and a mark the tty has begun.
    void Clear();
    // The CE_ bits of bytes received with errors, breaks and overflows since
    // the last call.
    std::uint32_t TakeErrors();

    // The most the queue holds: well above the input size asked for, within
    // bounds that keep a forgotten port cheap. A driver's queue is bounded too.
    std::size_t Limit() const;
    static constexpr std::size_t kLimitMin = 64 * 1024;
    static constexpr std::size_t kLimitMax = 256 * 1024;

private:
    void Accept(const std::uint8_t* data, std::size_t n, std::uint32_t& events);
    void Push(std::uint8_t c, std::uint32_t& events);

    std::vector<std::uint8_t> bytes_;
    std::size_t head_ = 0;  // bytes before it were taken
    int markState_ = 0;
    std::uint32_t errors_ = 0;
    std::int32_t inputSize_ = 0;
    bool replaceErrors_ = false;
    std::uint8_t errorChar_ = 0;
    bool discardNull_ = false;
    std::uint8_t eventChar_ = 0;
};

}  // namespace serial::device
