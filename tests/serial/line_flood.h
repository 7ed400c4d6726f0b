// A line that never stops sending: a thread writes to the master of a
// pseudo-terminal as fast as the terminal takes it, and reads away whatever
// comes from the other side, until the object goes.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

class LineFlood {
public:
    explicit LineFlood(int master) : thread_([this, master] { Run(master); }) {}
    ~LineFlood() {
        stop_ = true;
        thread_.join();
    }
    LineFlood(const LineFlood&) = delete;
    LineFlood& operator=(const LineFlood&) = delete;

private:
    void Run(int fd) {
        // A write that blocks once no one reads the other side would keep
        // the flood from ever seeing the stop request.
        const int flags = ::fcntl(fd, F_GETFL);
        ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
        char bytes[4096];
        for (std::size_t i = 0; i < sizeof bytes; ++i) bytes[i] = static_cast<char>(i * 7);
        char sink[4096];
        while (!stop_) {
            pollfd p{fd, POLLIN | POLLOUT, 0};
            if (::poll(&p, 1, 10) <= 0) continue;
            if (p.revents & POLLIN) [[maybe_unused]] auto n = ::read(fd, sink, sizeof sink);
            if (p.revents & POLLOUT) [[maybe_unused]] auto n = ::write(fd, bytes, sizeof bytes);
            // No one on the other side yet, or no more.
            if (p.revents & POLLHUP) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ::fcntl(fd, F_SETFL, flags);
    }

    std::atomic<bool> stop_{false};
    std::thread thread_;
};
