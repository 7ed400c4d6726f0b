// Why a link failed, read back from the line: one stable word a script can
// test (the cause) and one or two sentences in the user's language, what the
// line shows and what to do. The window, the companion, the journal and the
// report all take the failure from here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "trace/exchange.h"
#include "trace/tracing_port.h"

namespace cli {

struct LinkFailure {
    std::string cause;  // empty: the line shows no failure
    std::string text;   // translated
    bool Failed() const { return !cause.empty(); }
};

// What beside the exchange tells the cause.
struct LineFacts {
    std::uint64_t arrived = 0;   // bytes read since the start, echoes included
    std::int64_t spanUs = 0;     // how long the line ran since the start
    std::int64_t gapEndUs = -1;  // records before this time were left out; -1: none
    bool synced = false;         // the engine's own state
    int adapterTimerMs = -1;     // a USB adapter's latency timer; -1: not known
    // Where that timer is longer than the answers may take: how to shorten it
    // on this system, translated, one clause; empty where it fits.
    std::string adapterRemedy;
};

LinkFailure ClassifyLinkFailure(const Exchange& exchange, const LineFacts& facts);

// `facts` with what the system tells of the adapter behind `port` (its
// latency timer, and how to shorten it where it is too long). Asked while the
// port is open: a pseudo-terminal goes with its last user.
LineFacts WithAdapter(LineFacts facts, const std::string& port);

// The line since the start, analysed and classified; `facts` gives what the
// line cannot tell (the engine's state, the adapter), the rest is taken from `line`.
LinkFailure ReadLineBack(const LineSnapshot& line, LineFacts facts);

// A sentence when the line brought far more bytes in `us` than 9600 baud
// can carry (a wrong port, or no pump behind it); empty otherwise. English,
// with the figures: the companion's detail.
std::string FloodVerdict(std::uint64_t arrived, std::int64_t us);

// Every text ClassifyLinkFailure may give, untranslated: the catalogs carry them.
std::vector<std::string> LinkFailureTexts();

}  // namespace cli
