#include "adapter/adapter_check.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "core/platform/delay.h"
#include "core/realtime/thread_priority.h"
#include "core/text/format.h"
#include "localization/gettext.h"

namespace adapter {

namespace {

using Clock = std::chrono::steady_clock;
using serial::device::AdapterInfo;

constexpr auto kEchoWait = std::chrono::milliseconds(101);  // the engine's echo polls
constexpr int kGiveUpAfterSilent = 5;

constexpr const char* kPortWithKind = "Port %s (%s), 9600 baud 8E1";
constexpr const char* kPort = "Port %s, 9600 baud 8E1";
constexpr const char* kSent = "Sent %d single bytes without wake-up: %d came back as echo";
constexpr const char* kChanged = ", %d came back changed";
constexpr const char* kLatency = "Echo latency: median %s ms, p99 %s ms, max %s ms";
constexpr const char* kStray = "Note: %d bytes arrived that were not echoes: something else talks on the line";
constexpr const char* kTimer = "Note: the adapter's latency timer is %d ms, longer than the echo may take: %s.";
constexpr const char* kNoEcho =
    "Verdict: this adapter does not echo; it cannot be used. The diagnosis reads back every byte it sends; use an "
    "adapter that returns the transmitted bytes (a K-line adapter with echo).";
constexpr const char* kWrongEcho =
    "Verdict: the echo differs from what was sent (sent %s, got %s); it cannot be used. Check the wiring and that "
    "nothing else drives the line.";
constexpr const char* kLosesEcho =
    "Verdict: the adapter lost %d of %d echoes; it cannot be used reliably. Check the cable and the adapter's power.";
constexpr const char* kTooSlow =
    "Verdict: too slow; it does not fit the engine's 10 ms reply window (the echo must come back within %s ms to "
    "leave room for the pump's answer; p99 is %s ms). What to do: %s.";
constexpr const char* kBusyComputer =
    "this line is the computer's own, so the computer answered late: close other programs, then check again";
constexpr const char* kFits = "Verdict: the adapter echoes every byte and fits the engine's 10 ms reply window.";

std::string Tr(const char* text) { return localization::TranslateUtf8(text); }

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const auto rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(v.size()))) - 1;
    return v[std::min(rank, v.size() - 1)];
}

std::string Fixed(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", v);
    return buf;
}

std::string Hex(std::uint8_t b) {
    char buf[4];
    std::snprintf(buf, sizeof buf, "%02X", b);
    return buf;
}

}  // namespace

EchoMeasurement MeasureEcho(protocol::PumpPort& port, int count, const std::atomic<bool>* stop) {
    // Polled as the engine's line threads poll, so the figures are the adapter's.
    core::ScopedRealTimePriority onTime;
    EchoMeasurement m;
    std::string got;
    for (int i = 0; i < count && !(stop && *stop); ++i) {
        port.ReadText(got, 64);
        m.stray += static_cast<int>(got.size());
        // Varied bits, and never the synchronisation answer: nothing a pump could take for a request.
        auto byte = static_cast<std::uint8_t>(0x11 + 37 * i);
        if (byte == 0xAE) byte = 0xAF;
        const auto t0 = Clock::now();
        port.WriteText(std::string(1, static_cast<char>(byte)));
        ++m.sent;
        bool echoed = false;
        while (Clock::now() - t0 < kEchoWait) {
            if (port.ReadText(got, 1) > 0) {
                echoed = true;
                break;
            }
            // The engine's own 1 ms poll: a finer one spins where the system
            // sleeps no shorter (Windows), and a spinning raised thread holds
            // off whatever brings the echo in.
            core::DelayMs(1);
        }
        if (echoed) {
            const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
            if (static_cast<std::uint8_t>(got[0]) == byte) {
                ++m.echoed;
                m.latenciesMs.push_back(ms);
            } else if (m.wrong++ == 0) {
                m.wrongSent = byte;
                m.wrongGot = static_cast<std::uint8_t>(got[0]);
            }
        }
        if (m.echoed + m.wrong == 0 && m.sent >= kGiveUpAfterSilent) break;
        // Uneven pauses, so that a latency timer is met at every phase.
        core::DelayMs(static_cast<std::uint16_t>(1 + (i * 7) % 13));
    }
    port.ReadText(got, 64);
    m.stray += static_cast<int>(got.size());
    return m;
}

AdapterReport JudgeAdapter(const EchoMeasurement& m, const std::string& port, const AdapterInfo& adapter) {
    using core::FormatText;
    AdapterReport r;
    r.budgetMs = serial::device::kEchoBudgetMs;
    r.medianMs = Percentile(m.latenciesMs, 0.5);
    r.p99Ms = Percentile(m.latenciesMs, 0.99);
    r.maxMs = m.latenciesMs.empty() ? 0 : *std::max_element(m.latenciesMs.begin(), m.latenciesMs.end());

    std::string& t = r.text;
    t += (adapter.kind.empty() ? FormatText(Tr(kPort), {port}) : FormatText(Tr(kPortWithKind), {port, adapter.kind})) +
         "\n";
    t += FormatText(Tr(kSent), {m.sent, m.echoed});
    if (m.wrong > 0) t += FormatText(Tr(kChanged), {m.wrong});
    t += "\n";
    if (!m.latenciesMs.empty())
        t += FormatText(Tr(kLatency), {Fixed(r.medianMs), Fixed(r.p99Ms), Fixed(r.maxMs)}) + "\n";
    if (m.stray > 0) t += FormatText(Tr(kStray), {m.stray}) + "\n";

    if (m.echoed + m.wrong == 0) {
        r.verdict = AdapterVerdict::NoEcho;
        r.verdictLine = Tr(kNoEcho);
    } else if (m.wrong > 0) {
        r.verdict = AdapterVerdict::WrongEcho;
        r.verdictLine = FormatText(Tr(kWrongEcho), {Hex(m.wrongSent), Hex(m.wrongGot)});
    } else if (m.echoed < m.sent) {
        r.verdict = AdapterVerdict::LosesEcho;
        r.verdictLine = FormatText(Tr(kLosesEcho), {m.sent - m.echoed, m.sent});
    } else if (r.p99Ms > r.budgetMs) {
        r.verdict = AdapterVerdict::TooSlow;
        const std::string remedy =
            adapter.computersOwn ? Tr(kBusyComputer) : serial::device::SlowAdapterRemedy(port, adapter);
        r.verdictLine = FormatText(Tr(kTooSlow), {Fixed(r.budgetMs), Fixed(r.p99Ms), remedy});
    } else {
        r.verdictLine = Tr(kFits);
    }
    // A timer the system tells of that the echoes did not meet yet: said with
    // its remedy, where the verdict does not say it already.
    if (serial::device::LatencyTimerTooLong(adapter) && r.verdict != AdapterVerdict::TooSlow)
        t += FormatText(Tr(kTimer), {adapter.latencyTimerMs, serial::device::SlowAdapterRemedy(port, adapter)}) + "\n";
    t += r.verdictLine + "\n";
    return r;
}

std::vector<std::string> AdapterCheckTexts() {
    return {kPortWithKind, kPort,   kSent,      kChanged,   kLatency, kStray, kTimer,
            kNoEcho,       kWrongEcho, kLosesEcho, kTooSlow, kBusyComputer, kFits};
}

}  // namespace adapter
