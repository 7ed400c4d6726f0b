// Command line of pumpsim-tool: where to serve the simulated control unit and
// how it behaves.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "pumpsim/sim_line.h"

namespace pumpsim::tool {

struct ToolOptions {
    bool help = false;
    bool version = false;
    bool pty = false;          // serve on a new pseudo-terminal
    std::string link;          // with pty: symbolic link to the terminal's device
    std::string device;        // serve on this serial port
    std::optional<bool> echo;  // return the tester's bytes (default: yes on a pty, no on a port)
    bool ownEcho = false;      // a port on a single-wire line receives what the unit sends: skip it
    double latencyMs = 0;      // the adapter hands bytes over in packets this far apart (0: at once)
    bool silent = false;       // the unit never wakes: nothing comes back but the echo
    bool stay = false;         // with pty: after a tester closes the line, serve the next one
    PumpConfig config;

    bool Echo() const { return echo.value_or(pty); }
};

// Raises core::EConvertError naming the bad option or value.
ToolOptions ParseToolOptions(const std::vector<std::string>& args);

// Parses a fault memory given as "53:2,5A:17": hexadecimal code, colon,
// decimal error counter.
std::vector<FaultRecord> ParseFaultList(const std::string& text);

const char* UsageText();

}  // namespace pumpsim::tool
