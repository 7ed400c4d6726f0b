// Why a diagnosis left the rails, read from the line: the first place where
// the conversation on the line breaks its rules (or stops), explained by the
// timing around it and by what the engine's polls did there.
#pragma once

#include <string>
#include <vector>

#include "pumpsim/sim_line.h"
#include "timed_port.h"

namespace soak {

// How long the unit waits for the tester's complement of one of its bytes.
inline constexpr double kUnitAnswerWaitMs = 100.0;
// Longest quiet spell of a running exchange: the engine's 50 ms pause at a
// block end, the unit's gap before its next block, the 10 polls after the
// engine's end byte. A line quiet for longer has stopped.
inline constexpr double kStoppedAfterMs = 300.0;

// `line` is the tester's side of the line up to `nowMs`, `seam` the engine's
// port operations, both on the same clock. Returns what derailed the exchange
// and why, or nothing when it still follows the rules and is still running.
std::string ExplainDerailment(const std::vector<pumpsim::TraceEntry>& line, const std::vector<SeamOp>& seam,
                              double nowMs);

// The seam's operations moved onto another clock.
std::vector<SeamOp> Shifted(std::vector<SeamOp> ops, double byMs);

}  // namespace soak
