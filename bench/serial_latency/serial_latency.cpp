// Answer latency over a pseudo-terminal: a "pump" on the master writes one
// byte at a time and times how long its complement takes to come back.
// Measured twice in the same run: through the port component (OnRxChar on the
// monitoring thread reads the byte and writes the complement) and through a
// bare loop that reads the slave with plain system calls (the floor).
// With the main window's port in the build, a third row measures the
// engine's answer: the protocol engine's receive handler on the window's port
// answers the bytes of a pump block, and the "pump" also plays the adapter by
// returning every byte the engine sends.
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
#ifdef PD_WITH_ENGINE
#include "protocol/pump_protocol.h"
#include "window/port_component.h"
#endif

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

#ifdef PD_WITH_ENGINE
// The engine's effects are not looked at here.
class NoView : public protocol::EngineView {
public:
    void SetFieldText(protocol::IdentField, const std::string&) override {}
    void SetMemo2Text(const std::string&) override {}
    void SetControlEnabled(protocol::Control, bool) override {}
    void SetFaultButtonVisible(int, bool) override {}
    void SetFaultButtonHint(int, const std::string&) override {}
    void SetStatusVisible(bool) override {}
    void SetTimerEnabled(protocol::Timer, bool) override {}
};

// The far end of the engine's line: a pump that sends a byte and waits for
// its complement, and the adapter that returns every byte the engine sends.
class PumpEnd {
public:
    explicit PumpEnd(int master) : master_(master) {}

    // Sends `byte`, returns the time until the engine's answer came back in
    // ms (-1 when none came), and echoes that answer as the adapter would.
    double Exchange(unsigned char byte, bool timed = true) {
        const auto start = Clock::now();
        if (::write(master_, &byte, 1) != 1) std::abort();
        unsigned char in;
        if (!ReadOne(in)) return -1;
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        Echo(in);
        // Let the engine finish its echo poll before the next byte arrives.
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
        return timed && in == static_cast<unsigned char>(~byte) ? ms : -1;
    }
    // The engine's own block: each byte echoed, each but the end byte answered.
    void TakeEngineBlock() {
        for (int k = 0; k < 4; ++k) {
            unsigned char in;
            if (!ReadOne(in)) return;
            Echo(in);
            if (k < 3) {
                unsigned char answer = static_cast<unsigned char>(~in);
                if (::write(master_, &answer, 1) != 1) std::abort();
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }

private:
    bool ReadOne(unsigned char& in) {
        pollfd p{master_, POLLIN, 0};
        return ::poll(&p, 1, 1000) > 0 && ::read(master_, &in, 1) == 1;
    }
    void Echo(unsigned char b) {
        if (::write(master_, &b, 1) != 1) std::abort();
    }
    int master_;
};

std::vector<double> MeasureEngine() {
    Pty pty;
    NoView view;
    auto com = window::MakeComPort();
    protocol::PumpProtocol engine(*com, view);
    com->OnRxChar = [&](int count) { engine.Rx(count); };
    engine.SetFirstStartValues();
    com->SetPort(pty.slave);
    com->OpenPort();
    engine.SetRemainingStartValues();
    PumpEnd pump(pty.master);
    for (unsigned char b : {0x55, 0x8C}) {
        if (::write(pty.master, &b, 1) != 1) std::abort();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pump.Exchange(0x51, false);  // answered with 0xAE
    std::vector<double> times;
    unsigned char counter = 0;
    while (times.size() < static_cast<std::size_t>(kBytes / 2)) {
        // a block of the greatest length: length, counter, then 253 bytes
        times.push_back(pump.Exchange(0xFF));
        times.push_back(pump.Exchange(counter));
        for (int i = 0; i < 253; ++i) times.push_back(pump.Exchange(static_cast<unsigned char>(i * 37 + 11)));
        std::this_thread::sleep_for(std::chrono::milliseconds(60));  // the engine's block-end pause
        unsigned char end = 0x03;
        if (::write(pty.master, &end, 1) != 1) std::abort();
        pump.TakeEngineBlock();
        counter = static_cast<unsigned char>(counter + 2);
    }
    com->ClosePort();
    return times;
}
#endif

}  // namespace

int main() {
    std::printf("round trip of one byte over a pseudo-terminal, %d bytes each\n", kBytes);
    // Alternate twice so that neither side profits from a warm-up alone.
    for (int round = 0; round < 2; ++round) {
        Report("floor", MeasureFloor());
        Report("TComPort", MeasurePort());
#ifdef PD_WITH_ENGINE
        Report("engine", MeasureEngine());
#endif
    }
    return 0;
}
