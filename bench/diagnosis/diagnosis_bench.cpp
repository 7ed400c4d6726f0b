// Runs whole diagnoses against the simulated pump and prints how long the
// engine takes from the start button to complete identification, beside the
// least time that the line and the engine's own prescribed waits allow for
// the very same exchange, computed from the line's trace.
//
// The least time is the measured time less the engine's excess: for every
// byte the engine put on the line, how much later it started than the moment
// the engine's algorithm could have started it, given when the bytes it
// depends on arrived (times read off the trace) and the waits it must make:
// 1 ms after every poll that found a byte, polls 1 ms apart, 50 ms at a block
// end. The unit's own reaction times are part of the least time.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>
#include <vector>

#include "engine_fakes.h"
#include "serial/device/sim_device.h"
#include "window/port_component.h"

using namespace testing_support;
using Clock = std::chrono::steady_clock;
using pumpsim::TraceEntry;
using pumpsim::TraceKind;

namespace {

class TimingView : public RecordingView {
public:
    void SetControlEnabled(protocol::Control control, bool enabled) override {
        if (control == protocol::Control::Button4 && enabled && !done)
            doneAt = Clock::now(), done = true;
        RecordingView::SetControlEnabled(control, enabled);
    }
    std::atomic<bool> done{false};
    Clock::time_point doneAt;
};

// Moment a poll loop that started at `start` (polls 1 ms apart) finds a byte
// that arrives at `arrival`.
double FoundByPoll(double start, double arrival) {
    return arrival <= start ? start : start + std::ceil(arrival - start);
}

// Sum of the engine's excess start delays over the trace, up to `untilMs`.
double EngineExcess(const std::vector<TraceEntry>& trace, double byteMs, double untilMs, int& bytesCounted) {
    std::vector<std::pair<bool, double>> line;  // (from unit, arrival or end of transmission)
    for (const auto& e : trace) {
        if (e.timeMs > untilMs) break;
        if (e.kind == TraceKind::PumpByte) line.push_back({true, e.timeMs});
        if (e.kind == TraceKind::TesterByte) line.push_back({false, e.timeMs});
    }
    double excess = 0;
    bytesCounted = 0;
    auto account = [&](double endOfWrite, double earliest) {
        excess += std::max(0.0, endOfWrite - byteMs - earliest);
        ++bytesCounted;
    };
    // Synchronisation: the answer 0xAE starts with the arrival of 0x51.
    if (line.size() < 4) return 0;
    account(line[3].second, line[2].second);
    double lastEcho = line[3].second;
    size_t i = 4;
    while (i < line.size()) {
        // unit block: length (handler start), counter (found by poll), rest (handler start)
        size_t start = i;
        int length = 0;
        for (const auto& e : trace)  // length value of the block's first byte
            if (e.kind == TraceKind::PumpByte && e.timeMs == line[start].second) { length = e.byte; break; }
        for (int k = 0; k < length && i + 1 < line.size(); ++k) {
            double arrival = line[i].second;
            double earliest = std::max(arrival, lastEcho + 1);
            if (k == 1) earliest = FoundByPoll(lastEcho + 1, arrival) + 1;
            account(line[i + 1].second, earliest);
            lastEcho = line[i + 1].second;
            i += 2;
        }
        if (i >= line.size()) break;
        // the unit's end byte starts the engine's block after the block-end pause
        double endByte = line[i].second;
        ++i;
        double pauseEnd = lastEcho + 1 + 50;
        bool first = true;
        for (int k = 0; k < 4 && i < line.size(); ++k) {
            double earliest = first ? std::max(endByte, pauseEnd) : 0;
            if (!first) {
                double reply = (i >= 1 && line[i - 1].first) ? line[i - 1].second : lastEcho + 1 + 10;
                earliest = FoundByPoll(lastEcho + 1, reply) + 1;
            }
            account(line[i].second, earliest);
            lastEcho = line[i].second;
            first = false;
            ++i;
            if (k < 3 && i < line.size() && line[i].first) ++i;  // the unit's complement
        }
    }
    return excess;
}

}  // namespace

int main() {
    const int runs = 5;
    std::printf("Whole diagnosis against the simulated pump: start button to identification complete\n");
    std::printf("%4s %12s %12s %8s %8s\n", "run", "measured ms", "least ms", "ratio", "bytes");
    std::vector<double> ratios;
    for (int run = 0; run < runs; ++run) {
        TimingView view;
        auto com = window::MakeComPort();
        protocol::PumpProtocol engine(*com, view);
        com->OnRxChar = [&](int count) { engine.Rx(count); };
        engine.SetFirstStartValues();
        com->SetPort("SIM");
        com->OpenPort();
        engine.SetRemainingStartValues();
        auto line = serial::device::CurrentSimulatedLine();
        line->ClearTrace();
        auto clicked = Clock::now();
        engine.Button3Click();
        while (!view.done) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        double measured = std::chrono::duration<double, std::milli>(view.doneAt - clicked).count();
        auto trace = line->Trace();
        // Trace times count from the line's creation; the first break marks the click.
        double clickMs = 0;
        for (const auto& e : trace)
            if (e.kind == TraceKind::BreakOn) { clickMs = e.timeMs; break; }
        double doneMs = clickMs + measured;
        int bytes = 0;
        double excess = EngineExcess(trace, line->ByteTimeMs(), doneMs, bytes);
        com->ClosePort();
        double least = measured - excess;
        ratios.push_back(measured / least);
        std::printf("%4d %12.2f %12.2f %8.4f %8d\n", run + 1, measured, least, measured / least, bytes);
    }
    std::sort(ratios.begin(), ratios.end());
    std::printf("median ratio %.4f (aim: at most 1.05)\n", ratios[ratios.size() / 2]);
    return 0;
}
