// Answer latency over a pseudo-terminal: a "pump" on the master writes one
// byte at a time and times how long its complement takes to come back.
// Measured twice in the same run: through the port component (OnRxChar on the
// monitoring thread reads the byte and writes the complement) and through a
// bare loop that reads the slave with plain system calls (the floor).
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "serial/com_port.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kBytes = 5000;

struct Pty {
    int master = -1;
    std::string slave;
    Pty() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) std::abort();
        slave = ::ptsname(master);
    }
    ~Pty() { ::close(master); }
};

// Writes kBytes single bytes and returns the round trip of each in ms; a
// byte whose answer does not come within a second counts as lost (-1).
std::vector<double> RunPump(int master) {
    std::vector<double> times;
    times.reserve(kBytes);
    for (int i = 0; i < kBytes; ++i) {
        const unsigned char out = static_cast<unsigned char>(i * 37 + 11);
        const auto start = Clock::now();
        if (::write(master, &out, 1) != 1) std::abort();
        unsigned char in = 0;
        bool answered = false;
        while (!answered) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 1000) <= 0) break;
            if (::read(master, &in, 1) == 1) answered = true;
        }
        const auto stop = Clock::now();
        if (!answered || in != static_cast<unsigned char>(~out)) {
            times.push_back(-1);
            continue;
        }
        times.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
    }
    return times;
}

void Report(const char* name, std::vector<double> times) {
    const auto lost = std::count(times.begin(), times.end(), -1.0);
    times.erase(std::remove(times.begin(), times.end(), -1.0), times.end());
    std::sort(times.begin(), times.end());
    if (times.empty()) {
        std::printf("%-10s no answers\n", name);
        return;
    }
    auto at = [&](double q) { return times[std::min(times.size() - 1, static_cast<std::size_t>(q * times.size()))]; };
    std::printf("%-10s bytes %zu  median %.4f ms  p99 %.4f ms  max %.4f ms  lost %ld\n", name, times.size(), at(0.5),
                at(0.99), times.back(), static_cast<long>(lost));
}

std::vector<double> MeasureFloor() {
    Pty pty;
    const int slave = ::open(pty.slave.c_str(), O_RDWR | O_NOCTTY);
    termios t{};
    ::tcgetattr(slave, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave, TCSANOW, &t);
    std::atomic<bool> stop{false};
    std::thread echo([&] {
        while (!stop) {
            pollfd p{slave, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            unsigned char c;
            if (::read(slave, &c, 1) == 1) {
                c = static_cast<unsigned char>(~c);
                [[maybe_unused]] auto n = ::write(slave, &c, 1);
            }
        }
    });
    auto times = RunPump(pty.master);
    stop = true;
    echo.join();
    ::close(slave);
    return times;
}

std::vector<double> MeasurePort() {
    Pty pty;
    serial::TComPort port;
    // What the receive path depends on: arrivals only, handlers on the
    // monitoring thread, reads that return at once (the default timeouts).
    port.SetPort(pty.slave);
    port.SetEvents({serial::evRxChar});
    port.SetSyncMethod(serial::smNone);
    std::string byte;
    std::string answer(1, '\0');
    port.OnRxChar = [&](serial::TCustomComPort& p, int) {
        if (p.ReadText(byte, 1) == 1) {
            answer[0] = static_cast<char>(~static_cast<unsigned char>(byte[0]));
            p.WriteText(answer);
        }
    };
    port.OpenPort();
    auto times = RunPump(pty.master);
    port.ClosePort();
    return times;
}

}  // namespace

int main() {
    std::printf("round trip of one byte over a pseudo-terminal, %d bytes each\n", kBytes);
    // Alternate twice so that neither side profits from a warm-up alone.
    for (int round = 0; round < 2; ++round) {
        Report("floor", MeasureFloor());
        Report("TComPort", MeasurePort());
    }
    return 0;
}
