#include "timed_port.h"

#include <algorithm>
#include <cmath>
#include <deque>

namespace soak {

using pumpsim::TraceEntry;
using pumpsim::TraceKind;

double TimedPort::NowMs() const { return std::chrono::duration<double, std::milli>(Clock::now() - epoch_).count(); }

void TimedPort::Note(SeamOp::Kind kind, double start, std::string bytes) {
    const double end = NowMs();
    std::lock_guard guard(mutex_);
    ops_.push_back({kind, start, end, std::move(bytes)});
}

int TimedPort::WriteText(const std::string& bytes) {
    const double start = NowMs();
    const int written = inner_.WriteText(bytes);
    Note(SeamOp::Write, start, bytes);
    return written;
}

int TimedPort::ReadText(std::string& bytes, int count) {
    const double start = NowMs();
    const int read = inner_.ReadText(bytes, count);
    Note(SeamOp::Read, start, bytes);
    return read;
}

void TimedPort::SetBreakState(bool on) {
    const double start = NowMs();
    inner_.SetBreakState(on);
    Note(on ? SeamOp::BreakOn : SeamOp::BreakOff, start);
}

void TimedPort::PurgeBuffers(bool input, bool output) {
    const double start = NowMs();
    inner_.PurgeBuffers(input, output);
    Note(SeamOp::Purge, start, std::string(1, static_cast<char>((input ? 1 : 0) | (output ? 2 : 0))));
}

void TimedPort::ArrivalBegins() { Note(SeamOp::Arrival, NowMs()); }

std::vector<SeamOp> TimedPort::Ops() const {
    std::lock_guard guard(mutex_);
    return ops_;
}

void TimedPort::Clear() {
    std::lock_guard guard(mutex_);
    ops_.clear();
}

std::vector<double> PollIntervals(const std::vector<SeamOp>& ops) {
    std::vector<double> intervals;
    bool arrivalTaken = false;      // the arrival's own read has been made
    const SeamOp* lastPoll = nullptr;
    for (const SeamOp& op : ops) {
        if (op.kind == SeamOp::Arrival) {
            arrivalTaken = false;
            lastPoll = nullptr;
        } else if (op.kind != SeamOp::Read) {
            lastPoll = nullptr;
        } else if (!arrivalTaken) {
            arrivalTaken = true;
        } else {
            if (lastPoll) intervals.push_back(op.startMs - lastPoll->startMs);
            lastPoll = &op;
        }
    }
    return intervals;
}

std::vector<TraceEntry> TesterSideTrace(const std::vector<SeamOp>& ops) {
    std::vector<TraceEntry> trace;
    std::deque<std::uint8_t> unechoed;
    for (const SeamOp& op : ops) {
        switch (op.kind) {
        case SeamOp::Write:
            for (char c : op.bytes) {
                trace.push_back({op.endMs, TraceKind::TesterByte, static_cast<std::uint8_t>(c)});
                unechoed.push_back(static_cast<std::uint8_t>(c));
            }
            break;
        case SeamOp::Read:
            for (char c : op.bytes) {
                const auto byte = static_cast<std::uint8_t>(c);
                const bool echo = !unechoed.empty() && unechoed.front() == byte;
                if (echo) unechoed.pop_front();
                trace.push_back({op.endMs, echo ? TraceKind::EchoByte : TraceKind::PumpByte, byte});
            }
            break;
        case SeamOp::BreakOn:
        case SeamOp::BreakOff:
            trace.push_back({op.startMs, op.kind == SeamOp::BreakOn ? TraceKind::BreakOn : TraceKind::BreakOff, 0});
            break;
        case SeamOp::Purge:
            if (!op.bytes.empty() && (op.bytes[0] & 1)) unechoed.clear();
            trace.push_back({op.startMs, TraceKind::Purge, static_cast<std::uint8_t>(op.bytes.empty() ? 0 : op.bytes[0])});
            break;
        case SeamOp::Arrival:
            break;
        }
    }
    return trace;
}

double Percentile(const std::vector<double>& sorted, double p) {
    if (sorted.empty()) return 0;
    const auto rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(sorted.size())));
    return sorted[std::min(sorted.size() - 1, rank == 0 ? 0 : rank - 1)];
}

}  // namespace soak
