// What the adapter behind a port is, as far as the system tells: a simulated
// line, a pseudo-terminal, a port on the board or a USB adapter with its
// driver, and the latency timer of a USB adapter that has one, with where it
// is kept. The adapter check, the window and the failure texts read it from
// here, one backend a platform (adapter_info_posix.cpp, adapter_info_win32.cpp).
#pragma once

#include <string>
#include <vector>

namespace serial::device {

// The echo latency that still leaves the pump's complement inside the
// engine's 10 ms reply window: the complement follows the echo by at least
// one byte at 9600 baud 8E1 (11 bits).
constexpr double kReplyWindowMs = 10.0;
constexpr double kEchoBudgetMs = kReplyWindowMs - 11.0 * 1000.0 / 9600.0;

struct AdapterInfo {
    std::string kind;              // in the user's language: "serial port, driver ftdi_sio", "FTDI USB adapter"
    std::string driver;            // Linux: the kernel driver; Windows: the device's bus enumerator (FTDIBUS, USB)
    int latencyTimerMs = -1;       // -1: the system does not tell
    std::string latencyTimerPath;  // where the timer is kept: the sysfs attribute, the registry key
    bool computersOwn = false;     // a simulated line or a pseudo-terminal: its timing is the computer's
};

// Described while the port is open: a pseudo-terminal goes away with its last user.
AdapterInfo DescribeAdapter(const std::string& port);

// The latency timer holds received bytes longer than the echo may take.
inline bool LatencyTimerTooLong(const AdapterInfo& adapter) { return adapter.latencyTimerMs > kEchoBudgetMs; }

// What to do about an adapter too slow for the reply window, in the user's
// language, one clause without a full stop: on Linux the commands, on
// Windows the Device Manager's setting.
std::string SlowAdapterRemedy(const std::string& port, const AdapterInfo& adapter);

// Every English text of this file's backend that goes through the catalogs.
std::vector<std::string> AdapterInfoTexts();

}  // namespace serial::device
