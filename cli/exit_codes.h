// The companion's exit codes; --help lists them.
#pragma once

namespace cli {

enum ExitCode : int {
    kExitOk = 0,
    kExitFailure = 1,           // out of memory, or an error nothing else names
    kExitUsage = 2,             // bad command line
    kExitAdapterUnusable = 3,   // no echo, lost or wrong echoes, too slow for the reply window
    kExitPumpSilent = 4,        // no synchronisation, no block, lost link, no identification
    kExitNotConfirmed = 5,      // clearing refused or not confirmed
    kExitFile = 6,              // a trace or SVG file cannot be read or written
    kExitNoDevice = 10,         // the port does not exist
    kExitNoPermission = 11,     // the port exists but may not be opened
    kExitBusy = 12,             // another program holds the port
    kExitPortError = 13,        // any other failure of the port
};

}  // namespace cli
