// Reading a line trace back as the exchange it shows: the wake-up, the
// synchronisation, the blocks each side sent with their answer times, and
// the derailments that the engine cannot notice itself. The blocks are cut
// by the same counts the engine uses, so a shifted block is shown shifted,
// as the engine took it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "trace/line_trace.h"

namespace cli {

struct Block {
    bool fromPump = false;
    std::vector<std::uint8_t> bytes;  // as on the line: length, counter, title, data, end byte
    std::int64_t startUs = 0;
    std::int64_t endUs = 0;
    double answerMs = 0;        // from the other side's previous block end (or the sync answer) to this block
    double slowestReplyMs = 0;  // the slowest complement the other side gave to a byte of this block
};

// What a derailment is, for the failure's cause (link_failure.h).
enum class DerailKind {
    Other,
    Late,     // an answer that came after the engine's wait, or a byte its end-of-block poll took
    Garbled,  // bytes lost, added or changed: a wrong end byte, a stray byte, a wrong complement
    Echo,     // sent bytes without their echo
};

struct Derailment {
    std::int64_t us = 0;
    std::string text;
    DerailKind kind = DerailKind::Other;
};

// The first step the line shows missing; None when the exchange ran.
enum class MissingStep { None, Synchronisation, Block, Link };

struct Exchange {
    int breaks = 0;
    int sent = 0;
    int echoed = 0;
    bool synced = false;
    std::int64_t syncUs = 0;
    std::vector<Block> blocks;
    std::vector<Derailment> derailments;
    MissingStep missing = MissingStep::None;
    // After the last wake-up: bytes from the pump, and whether 55 8C 51 came
    // without the tester's answer (read together, too late for the engine).
    int receivedAfterWake = 0;
    bool syncUnanswered = false;
    // Sent bytes without their echo that came back later, as the next byte
    // received: an adapter slower than the engine's echo wait.
    int lateEchoes = 0;
    std::string verdict;  // one sentence: what the line shows
    std::int64_t endUs = 0;
};

Exchange AnalyseTrace(std::vector<LineRecord> records);

// The engine's wait for each complement of its own block's bytes.
inline constexpr double kReplyWindowMs = 10.0;

// The text report of trace-summary.
std::string FormatExchange(const Exchange& exchange);

}  // namespace cli
