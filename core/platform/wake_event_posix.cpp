#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

#include "core/platform/wake_event.h"

namespace core {

int CreateWakeEvent() { return ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC); }

void CloseWakeEvent(int event) {
    if (event >= 0) ::close(event);
}

void SignalWakeEvent(int event) {
    const std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(event, &one, sizeof one);
}

void ResetWakeEvent(int event) {
    std::uint64_t count;
    [[maybe_unused]] auto n = ::read(event, &count, sizeof count);
}

unsigned WaitForWakeEvents(std::initializer_list<int> events, int timeoutMs) {
    pollfd fds[8];
    nfds_t n = 0;
    for (int event : events) fds[n++] = {event, POLLIN, 0};  // poll skips a negative descriptor
    if (::poll(fds, n, timeoutMs) <= 0) return 0;
    unsigned signalled = 0;
    for (nfds_t i = 0; i < n; ++i)
        if (fds[i].revents != 0) signalled |= 1u << i;
    return signalled;
}

int InputWakeId(int fd) { return fd; }

}  // namespace core
