// Plays the serial port's part between the engine and the simulated pump
// line: the four port operations, and arrivals delivered to Rx on a thread of
// their own, one at a time, as the port's monitoring thread does.
#pragma once

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <thread>

#include "protocol/pump_port.h"
#include "protocol/pump_protocol.h"
#include "pumpsim/sim_line.h"

namespace testing_support {

class SimLinePort : public protocol::PumpPort {
public:
    explicit SimLinePort(pumpsim::SimLine& line) : line_(line) {}
    int WriteText(const std::string& bytes) override {
        return line_.Write(reinterpret_cast<const std::uint8_t*>(bytes.data()), static_cast<int>(bytes.size()));
    }
    int ReadText(std::string& bytes, int count) override {
        bytes.resize(static_cast<size_t>(std::max(count, 0)));
        int n = count > 0 ? line_.Read(reinterpret_cast<std::uint8_t*>(bytes.data()), count) : 0;
        bytes.resize(static_cast<size_t>(n));
        return n;
    }
    void SetBreakState(bool on) override { line_.SetBreak(on); }
    void PurgeBuffers(bool input, bool output) override { line_.Purge(input, output); }

private:
    pumpsim::SimLine& line_;
};

class ArrivalThread {
public:
    ArrivalThread(pumpsim::SimLine& line, protocol::PumpProtocol& engine)
        : line_(line), engine_(engine), stopFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
          thread_([this] { Run(); }) {}
    ~ArrivalThread() {
        std::uint64_t one = 1;
        (void)!::write(stopFd_, &one, sizeof one);
        thread_.join();
        ::close(stopFd_);
    }
    // True when an error escaped Rx and ended the deliveries.
    bool Ended() const { return ended_; }

private:
    void Run() {
        pollfd fds[2] = {{stopFd_, POLLIN, 0}, {line_.ArrivalFd(), POLLIN, 0}};
        while (::poll(fds, 2, -1) >= 0) {
            if (fds[0].revents) return;
            if (!(fds[1].revents & POLLIN)) continue;
            std::uint64_t counter;
            (void)!::read(line_.ArrivalFd(), &counter, sizeof counter);
            int waiting = line_.WaitingCount();
            if (waiting <= 0) continue;
            try {
                engine_.Rx(waiting);
            } catch (...) {
                ended_ = true;  // like the port's monitoring thread: end quietly
                return;
            }
        }
    }

    pumpsim::SimLine& line_;
    protocol::PumpProtocol& engine_;
    int stopFd_;
    std::atomic<bool> ended_{false};
    std::thread thread_;
};

}  // namespace testing_support
