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

struct Derailment {
    std::int64_t us = 0;
    std::string text;
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
    std::string verdict;  // one sentence: what the line shows
    std::int64_t endUs = 0;
};

Exchange AnalyseTrace(std::vector<LineRecord> records);

// The engine's wait for each complement of its own block's bytes.
inline constexpr double kReplyWindowMs = 10.0;

// The text report of trace-summary.
std::string FormatExchange(const Exchange& exchange);

}  // namespace cli
