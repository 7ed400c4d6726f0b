// The engine's port seen from the outside: a decorator that hands every
// operation on to the window's port and notes when it happened and what it
// carried. From these notes come the engine's poll intervals and, where no
// simulated line keeps a trace, the tester's side of the line.
//
// Threads: the engine calls the operations from the monitoring thread (Rx)
// and the GUI thread (start button); Take and Clear may run on any thread.
// Every member behind mutex_.
#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "protocol/pump_port.h"
#include "pumpsim/sim_line.h"

namespace soak {

using Clock = std::chrono::steady_clock;

struct SeamOp {
    enum Kind { Arrival, Read, Write, BreakOn, BreakOff, Purge } kind;
    double startMs;     // when the engine called, since the recorder's epoch
    double endMs;       // when the call returned
    std::string bytes;  // what a read returned or a write carried
};

class TimedPort final : public protocol::PumpPort {
public:
    explicit TimedPort(protocol::PumpPort& inner, Clock::time_point epoch = Clock::now())
        : inner_(inner), epoch_(epoch) {}

    int WriteText(const std::string& bytes) override;
    int ReadText(std::string& bytes, int count) override;
    void SetBreakState(bool on) override;
    void PurgeBuffers(bool input, bool output) override;
    // Called by the arrival handler before it enters the engine: the first
    // read after it takes the arrival, later ones are the engine's polls.
    void ArrivalBegins();

    std::vector<SeamOp> Ops() const;
    void Clear();
    double NowMs() const;

private:
    void Note(SeamOp::Kind kind, double start, std::string bytes = {});

    protocol::PumpPort& inner_;
    const Clock::time_point epoch_;
    mutable std::mutex mutex_;
    std::vector<SeamOp> ops_;
};

// Intervals between successive reads of the engine's poll loops: two reads in
// the same arrival with no other port operation between them (each pair is
// one 1 ms wait apart). The read that takes the arrival is not a poll.
std::vector<double> PollIntervals(const std::vector<SeamOp>& ops);

// The tester's side of the line as the engine saw it: its own bytes when
// their write returned, the received bytes when a read took them, each
// received byte that repeats the oldest unechoed written byte taken as the
// adapter's echo; breaks and purges as called.
std::vector<pumpsim::TraceEntry> TesterSideTrace(const std::vector<SeamOp>& ops);

// p in 0..1 of the sorted values (nearest rank); 0 for none.
double Percentile(const std::vector<double>& sorted, double p);

}  // namespace soak
