// The soak's reading of the line: which poll intervals it counts and which
// cause it names for the ways an exchange derails under load.
#include <gtest/gtest.h>

#include "derailment.h"
#include "timed_port.h"

namespace soak {
namespace {

std::string B(int byte) { return std::string(1, static_cast<char>(byte)); }

// The engine's port operations of a start, written as the engine makes them.
struct Seam {
    std::vector<SeamOp> ops;
    double t = 0;

    Seam& Op(SeamOp::Kind kind, double after, const std::string& bytes = {}) {
        t += after;
        ops.push_back({kind, t, t, bytes});
        return *this;
    }
    Seam& Arrival(int byte, double after = 1) { return Op(SeamOp::Arrival, after).Op(SeamOp::Read, 0, B(byte)); }
    // Written with its echo read back at once.
    Seam& Sent(int byte) { return Op(SeamOp::Write, 1.2, B(byte)).Op(SeamOp::Read, 0, B(byte)); }
    Seam& Polls(int empty, const std::string& found = {}) {
        for (int i = 0; i < empty; ++i) Op(SeamOp::Read, 1);
        return found.empty() ? *this : Op(SeamOp::Read, 1, found);
    }
    // Wake-up, synchronisation and the unit's block 03 00 09 03.
    Seam& ToEngineBlock() {
        Op(SeamOp::BreakOn, 0).Op(SeamOp::BreakOff, 200).Op(SeamOp::BreakOn, 200).Op(SeamOp::BreakOff, 500);
        Op(SeamOp::Purge, 0, B(3)).Arrival(0x55, 40).Arrival(0x8C, 8).Arrival(0x51, 8).Sent(0xAE);
        Arrival(0x03).Sent(0xFC).Polls(0, B(0x00)).Sent(0xFF).Arrival(0x09).Sent(0xF6);
        return Arrival(0x03, 50);
    }
    // ... and the engine's block 03 01 09 03 up to its end byte and its echo.
    Seam& Start() {
        ToEngineBlock();
        for (int b : {0x03, 0x01, 0x09}) Sent(b).Polls(1, B(b ^ 0xFF));
        return Sent(0x03);
    }
};

TEST(SoakPollIntervals, CountOnlyReadsOfOnePollLoopWithinAnArrival) {
    Seam s;
    s.Arrival(0x03, 10).Sent(0xFC).Polls(2, B(0x07)).Op(SeamOp::Read, 3).Arrival(0x09, 40).Op(SeamOp::Read, 5);
    s.Sent(0xF6).Polls(1);
    // neither an arrival's own read nor a pair across a write or an arrival
    EXPECT_EQ(PollIntervals(s.ops), (std::vector<double>{1, 1, 1, 3, 1}));
}

TEST(SoakDerailment, NamesTheCauseFromTheLine) {
    struct Row {
        const char* name;
        Seam seam;
        double unitByteEarlierMs;  // the unit's last byte came this much before the engine read it
        double quietMs;            // from the last operation to the look at the line
        const char* cause;         // expected start of the cause; empty: none
    };
    Row rows[] = {
        {"running", Seam().Start().Polls(10).Arrival(0x03, 15), 0, 5, ""},
        {"length byte swallowed by stretched polls", Seam().Start().Polls(3).Op(SeamOp::Read, 20, B(0x10)), 0, 500,
         "the unit's length byte 0x10 reached the engine 23.0 ms after its end byte and was swallowed by the engine's "
         "polls after it, stretched to 5 reads in 23.0 ms"},
        {"synchronisation bytes merged",
         Seam().Op(SeamOp::BreakOn, 0).Op(SeamOp::BreakOff, 200).Op(SeamOp::BreakOn, 200).Op(SeamOp::BreakOff, 500)
             .Op(SeamOp::Arrival, 60).Op(SeamOp::Read, 0, "\x55\x8C").Arrival(0x51, 8),
         0, 500, "2 synchronisation bytes were taken in one arrival, read at +60.0 ms"},
        {"unit's complement after the engine moved on",
         Seam().ToEngineBlock().Sent(0x03).Polls(10).Sent(0x01).Polls(0, B(0xFC)), 0, 500,
         "the unit answered the engine's byte 0x03 after 12.2 ms, when the engine had stopped waiting (11 reads over "
         "10.0 ms)"},
        {"engine's answer too late for the unit", Seam().Start().Polls(10).Arrival(0x03, 15).Sent(0xFC), 130, 500,
         "the engine answered the unit's byte 0x03 after 131.2 ms; the unit waits 100 ms"},
    };
    for (Row& row : rows) {
        auto line = TesterSideTrace(row.seam.ops);
        for (auto e = line.rbegin(); e != line.rend(); ++e)
            if (e->kind == pumpsim::TraceKind::PumpByte) {
                e->timeMs -= row.unitByteEarlierMs;
                break;
            }
        const std::string cause = ExplainDerailment(line, row.seam.ops, row.seam.t + row.quietMs);
        EXPECT_EQ(cause.substr(0, std::string(row.cause).size()), row.cause) << row.name << ": " << cause;
        if (*row.cause == '\0') {
            EXPECT_EQ(cause, "") << row.name;
        }
    }
}

}  // namespace
}  // namespace soak
