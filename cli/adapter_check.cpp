#include "cli/adapter_check.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "core/platform/delay.h"
#include "core/realtime/thread_priority.h"

namespace cli {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kEchoWait = std::chrono::milliseconds(101);  // the engine's echo polls
constexpr int kGiveUpAfterSilent = 5;
constexpr double kReplyWindowMs = 10.0;
// 8E1 at 9600 baud: 11 bits a byte. The pump's complement follows the echo
// by at least this much, so the echo must leave that room in the window.
constexpr double kByteTimeMs = 11.0 * 1000.0 / 9600.0;

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

std::string SlowAdapterAdvice(const std::string& port, const AdapterInfo& adapter) {
    if (adapter.driver == "ftdi_sio") {
        std::string advice = "enable low latency on this FTDI adapter: ";
        if (!adapter.latencyTimerPath.empty())
            advice += "echo 1 | sudo tee " + adapter.latencyTimerPath + " (now " +
                      std::to_string(adapter.latencyTimerMs) + " ms)";
        else
            advice += "sudo setserial " + port + " low_latency";
        return advice + ", then check again";
    }
    if (!adapter.latencyTimerPath.empty())
        return "lower the adapter's latency timer: echo 1 | sudo tee " + adapter.latencyTimerPath +
               ", then check again";
    return "use a built-in serial port or a USB adapter with low latency (for an FTDI adapter: enable low "
           "latency)";
}

}  // namespace

EchoMeasurement MeasureEcho(protocol::PumpPort& port, int count) {
    // Polled as the engine's line threads poll, so the figures are the adapter's.
    core::ScopedRealTimePriority onTime;
    EchoMeasurement m;
    std::string got;
    for (int i = 0; i < count; ++i) {
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
    AdapterReport r;
    r.budgetMs = kReplyWindowMs - kByteTimeMs;
    r.medianMs = Percentile(m.latenciesMs, 0.5);
    r.p99Ms = Percentile(m.latenciesMs, 0.99);
    r.maxMs = m.latenciesMs.empty() ? 0 : *std::max_element(m.latenciesMs.begin(), m.latenciesMs.end());

    std::string& t = r.text;
    t += "Port " + port + (adapter.kind.empty() ? "" : " (" + adapter.kind + ")") + ", 9600 baud 8E1\n";
    t += "Sent " + std::to_string(m.sent) + " single bytes without wake-up: " + std::to_string(m.echoed) +
         " came back as echo";
    if (m.wrong > 0) t += ", " + std::to_string(m.wrong) + " came back changed";
    t += "\n";
    if (!m.latenciesMs.empty())
        t += "Echo latency: median " + Fixed(r.medianMs) + " ms, p99 " + Fixed(r.p99Ms) + " ms, max " +
             Fixed(r.maxMs) + " ms\n";
    if (m.stray > 0)
        t += "Note: " + std::to_string(m.stray) +
             " bytes arrived that were not echoes: something else talks on the line\n";

    if (m.echoed + m.wrong == 0) {
        r.verdict = AdapterVerdict::NoEcho;
        t += "Verdict: this adapter does not echo; it cannot be used. The diagnosis reads back every byte it "
             "sends; use an adapter that returns the transmitted bytes (a K-line adapter with echo).\n";
    } else if (m.wrong > 0) {
        r.verdict = AdapterVerdict::WrongEcho;
        t += "Verdict: the echo differs from what was sent (sent " + Hex(m.wrongSent) + ", got " +
             Hex(m.wrongGot) + "); it cannot be used. Check the wiring and that nothing else drives the line.\n";
    } else if (m.echoed < m.sent) {
        r.verdict = AdapterVerdict::LosesEcho;
        t += "Verdict: the adapter lost " + std::to_string(m.sent - m.echoed) + " of " + std::to_string(m.sent) +
             " echoes; it cannot be used reliably. Check the cable and the adapter's power.\n";
    } else if (r.p99Ms > r.budgetMs) {
        r.verdict = AdapterVerdict::TooSlow;
        t += "Verdict: too slow; it does not fit the engine's 10 ms reply window (the echo must come back within " +
             Fixed(r.budgetMs) + " ms to leave room for the pump's answer; p99 is " + Fixed(r.p99Ms) +
             " ms). What to do: " + SlowAdapterAdvice(port, adapter) + ".\n";
    } else {
        t += "Verdict: the adapter echoes every byte and fits the engine's 10 ms reply window.\n";
    }
    return r;
}

}  // namespace cli
