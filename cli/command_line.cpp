#include "cli/command_line.h"

#include "core/platform/exception.h"

namespace cli {

const char* const kUsage =
    "Usage: pumpdiag-cli check-adapter --port PORT [--count N]\n"
    "       pumpdiag-cli diagnose --port PORT [--read-faults] [--clear-faults [--yes]] [--json] [--trace FILE]\n"
    "       pumpdiag-cli trace-summary FILE [--svg OUT]\n"
    "       pumpdiag-cli --help | --version\n"
    "\n"
    "PORT is SIM (the simulated pump), COMn (/dev/ttyS(n-1)), a name under /dev/ or a path.\n"
    "Options take their value as --opt VALUE or --opt=VALUE; -- ends the options.\n"
    "\n"
    "check-adapter   send N single bytes (default 100) without waking the pump; report whether each\n"
    "                came back as echo, the echo latency, and whether it fits the 10 ms reply window\n"
    "diagnose        wake the pump, synchronise and read its identification, as the program does\n"
    "  --read-faults   then read the fault memory; each fault's help line comes from its file 50.txt..5E.txt\n"
    "                  in this folder, else in $XDG_DATA_HOME/pumpdiag (~/.local/share/pumpdiag), else in\n"
    "                  the package's data folder (/usr/share/pumpdiag)\n"
    "  --clear-faults  then erase it, after a yes on the terminal (never without a terminal)\n"
    "  --yes           erase without asking\n"
    "  --json          print one JSON object on standard output; progress stays on standard error\n"
    "  --trace FILE    record every byte on the line (JSON Lines: t_us, dir sent/echo/received, byte),\n"
    "                  written as it comes and ended at 64 MB\n"
    "trace-summary   show a trace as blocks with answer times and derailments (FILE - is standard input)\n"
    "  --svg OUT       also draw its timeline as SVG\n"
    "\n"
    "Exit codes:\n"
    "   0  done: the adapter fits, the diagnosis ran, the summary was written\n"
    "   1  out of memory, or another unexpected error\n"
    "   2  bad command line\n"
    "   3  adapter unusable: no echo, lost or changed echoes, too slow\n"
    "   4  the pump did not answer: no synchronisation, no block, lost link, no identification (each\n"
    "      step ends after 20 s), or the line brings far more than 9600 baud can carry\n"
    "   5  fault memory not cleared: no terminal to confirm on and no --yes, or not confirmed\n"
    "   6  a trace or SVG file cannot be read or written\n"
    "  10  the port does not exist\n"
    "  11  no permission to open the port\n"
    "  12  the port is busy: another program holds it\n"
    "  13  any other port error\n"
    " 128+N  stopped by signal N (130 Ctrl-C, 143 SIGTERM); the trace is complete up to then\n";

namespace {

// Options that take a value; all others are flags.
constexpr const char* kValueOptions[] = {"--port", "--count", "--trace", "--svg"};

bool TakesValue(const std::string& option) {
    for (const char* o : kValueOptions)
        if (option == o) return true;
    return false;
}

int ParseCount(const std::string& v) {
    if (v.empty() || v.find_first_not_of("0123456789") != std::string::npos || v.size() > 4 || std::stoi(v) < 1 ||
        std::stoi(v) > 1000)
        throw core::EConvertError("--count takes a number from 1 to 1000");
    return std::stoi(v);
}

}  // namespace

Args ParseCommandLine(const std::vector<std::string>& argv) {
    Args a;
    auto bad = [](const std::string& what) { throw core::EConvertError(what); };
    bool optionsEnded = false;
    for (std::size_t i = 0; i < argv.size(); ++i) {
        std::string s = argv[i];
        if (!optionsEnded && s == "--") {
            optionsEnded = true;
            continue;
        }
        if (optionsEnded || s == "-" || s.empty() || s[0] != '-') {
            if (s == "help" && a.command.empty() && !optionsEnded) a.help = true;
            else if (a.command.empty()) a.command = s;
            else if (a.command == "trace-summary" && a.file.empty()) a.file = s;
            else bad("unexpected argument '" + s + "'");
            continue;
        }
        std::string value;
        const auto equals = s.find('=');
        const bool inlineValue = s.starts_with("--") && equals != std::string::npos;
        if (inlineValue) {
            value = s.substr(equals + 1);
            s.erase(equals);
        }
        if (TakesValue(s)) {
            if (!inlineValue) {
                if (i + 1 >= argv.size()) bad("option " + s + " needs a value");
                value = argv[++i];
            }
            if (value.empty()) bad("option " + s + " needs a value");
        } else if (inlineValue) {
            bad("option " + s + " takes no value");
        }
        if (s == "--help" || s == "-h") a.help = true;
        else if (s == "--version") a.version = true;
        else if (s == "--port") a.port = value;
        else if (s == "--count") a.count = ParseCount(value);
        else if (s == "--trace") a.trace = value;
        else if (s == "--svg") a.svg = value;
        else if (s == "--read-faults") a.readFaults = true;
        else if (s == "--clear-faults") a.clearFaults = true;
        else if (s == "--yes") a.yes = true;
        else if (s == "--json") a.json = true;
        else bad("unknown option " + s);
    }
    if (a.help || a.version) return a;
    const bool diagnose = a.command == "diagnose";
    if (a.command != "check-adapter" && !diagnose && a.command != "trace-summary")
        bad(a.command.empty() ? "no command given" : "unknown command " + a.command);
    if (a.command != "trace-summary" && a.port.empty()) bad(a.command + " needs --port PORT");
    if (a.command == "trace-summary" && a.file.empty()) bad("trace-summary needs the trace FILE");
    if (a.command == "trace-summary" && !a.port.empty()) bad("trace-summary takes no --port");
    if (!diagnose && (a.readFaults || a.clearFaults || a.yes || a.json || !a.trace.empty()))
        bad("--read-faults, --clear-faults, --yes, --json and --trace belong to diagnose");
    if (a.command != "trace-summary" && !a.svg.empty()) bad("--svg belongs to trace-summary");
    if (a.command != "check-adapter" && a.count != kDefaultCount) bad("--count belongs to check-adapter");
    if (a.yes && !a.clearFaults) bad("--yes only confirms --clear-faults");
    return a;
}


}  // namespace cli
