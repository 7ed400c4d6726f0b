// The adapter check: single bytes sent without a wake-up pattern, so the pump
// stays asleep and only the adapter answers. The engine reads back every byte
// it sends and then gives the pump 10 ms for its complement, which comes
// back through the adapter the same way as the echo. The companion's
// check-adapter and the window's menu item run it alike.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/pump_port.h"
#include "serial/device/adapter_info.h"

namespace adapter {

// Bytes sent by a check unless asked otherwise: a hundred, so that the 99th
// percentile forgives one outlier, not more.
constexpr int kCheckBytes = 100;

struct EchoMeasurement {
    int sent = 0;
    int echoed = 0;
    int wrong = 0;                      // came back as another byte
    std::uint8_t wrongSent = 0, wrongGot = 0;  // the first such pair
    int stray = 0;                      // bytes that came with no byte sent
    std::vector<double> latenciesMs;    // from the write to the echo, echoed bytes only
};

// Sends `count` bytes one at a time and waits for each echo as long as the
// engine would (101 ms). Stops early when the first five bytes all stay
// unanswered, or when `stop` is set. Raises what the port raises.
EchoMeasurement MeasureEcho(protocol::PumpPort& port, int count, const std::atomic<bool>* stop = nullptr);

enum class AdapterVerdict { Fits, NoEcho, LosesEcho, WrongEcho, TooSlow };

struct AdapterReport {
    AdapterVerdict verdict = AdapterVerdict::Fits;
    double medianMs = 0, p99Ms = 0, maxMs = 0;
    double budgetMs = 0;  // the echo latency that still leaves the pump's reply inside the window
    std::string verdictLine;  // "Verdict: ...", with what to do
    std::string text;         // the whole report, one line a finding, the verdict last
};

// In the current language (English where no catalog is loaded, as in the companion).
AdapterReport JudgeAdapter(const EchoMeasurement& m, const std::string& port,
                           const serial::device::AdapterInfo& adapter);

// Every English text of the report that goes through the catalogs.
std::vector<std::string> AdapterCheckTexts();

}  // namespace adapter
