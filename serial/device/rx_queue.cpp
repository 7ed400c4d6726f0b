#include "serial/device/rx_queue.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace serial::device {

void RxQueue::SetCharacters(const DeviceControlBlock& dcb) {
    replaceErrors_ = (dcb.Flags & kDcbParity) && (dcb.Flags & kDcbErrorChar);
    errorChar_ = static_cast<std::uint8_t>(dcb.ErrorChar);
    discardNull_ = dcb.Flags & kDcbNull;
    eventChar_ = static_cast<std::uint8_t>(dcb.EvtChar);
}

std::size_t RxQueue::Limit() const {
    return std::clamp<std::size_t>(16 * static_cast<std::size_t>(std::max(inputSize_, 0)), kLimitMin, kLimitMax);
}

int RxQueue::Fill(int tty, std::uint32_t& events) {
    const std::size_t before = Size();
    int result = 0;
    std::uint8_t chunk[1024];
    for (;;) {
        const ssize_t n = ::read(tty, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno != EAGAIN) result = errno;
            break;
        }
        if (n == 0) break;
        Accept(chunk, static_cast<std::size_t>(n), events);
        if (static_cast<std::size_t>(n) < sizeof chunk) break;
    }
    const std::size_t after = Size();
    if (after > before) {
        events |= EV_RXCHAR;
        const auto threshold = static_cast<std::size_t>(std::max(inputSize_, 0)) * 4;
        if (inputSize_ > 0 && before * 5 < threshold && after * 5 >= threshold) events |= EV_RX80FULL;
    }
    return result;
}

void RxQueue::Accept(const std::uint8_t* data, std::size_t n, std::uint32_t& events) {
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
                    errors_ |= CE_BREAK;
                    events |= EV_BREAK | EV_ERR;
                } else {
                    errors_ |= CE_RXPARITY;
                    events |= EV_ERR;
                    Push(replaceErrors_ ? errorChar_ : c, events);
                }
                break;
        }
    }
}

void RxQueue::Push(std::uint8_t c, std::uint32_t& events) {
    if (c == 0 && discardNull_) return;
    if (Size() >= Limit()) {
        // Full: the byte is lost and that is reported, as a driver does.
        errors_ |= CE_RXOVER;
        events |= EV_ERR;
        return;
    }
    if (c == eventChar_) events |= EV_RXFLAG;
    bytes_.push_back(c);
}

std::size_t RxQueue::Take(std::uint8_t* out, std::size_t max) {
    const std::size_t n = std::min(Size(), max);
    if (n == 0) return 0;
    std::memcpy(out, bytes_.data() + head_, n);
    head_ += n;
    if (head_ == bytes_.size()) {
        bytes_.clear();
        head_ = 0;
    } else if (head_ >= kLimitMin) {
        // A reader that never empties the queue must not let the bytes it
        // took pile up in front of it.
        bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(head_));
        head_ = 0;
    }
    return n;
}

void RxQueue::Clear() {
    bytes_.clear();
    head_ = 0;
    markState_ = 0;
}

std::uint32_t RxQueue::TakeErrors() {
    const std::uint32_t errors = errors_;
    errors_ = 0;
    return errors;
}

}  // namespace serial::device
