// pumpdiag-cli: the diagnostic program's companion on the command line.
#include <fstream>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "cli/adapter_check.h"
#include "cli/diagnose.h"
#include "cli/exchange.h"
#include "cli/exit_codes.h"
#include "cli/line_trace.h"
#include "cli/port_open.h"
#include "cli/stop_signals.h"
#include "cli/timeline_svg.h"
#include "core/exception.h"

namespace {

using namespace cli;

constexpr const char* kUsage =
    "Usage: pumpdiag-cli check-adapter --port PORT [--count N]\n"
    "       pumpdiag-cli diagnose --port PORT [--read-faults] [--clear-faults [--yes]] [--json] [--trace FILE]\n"
    "       pumpdiag-cli trace-summary FILE [--svg OUT]\n"
    "\n"
    "PORT is SIM (the simulated pump), COMn (/dev/ttyS(n-1)), a name under /dev/ or a path.\n"
    "\n"
    "check-adapter   send N single bytes (default 100) without waking the pump; report whether each\n"
    "                came back as echo, the echo latency, and whether it fits the 10 ms reply window\n"
    "diagnose        wake the pump, synchronise and read its identification, as the program does\n"
    "  --read-faults   then read the fault memory; help lines come from 50.txt..5E.txt in this folder\n"
    "  --clear-faults  then erase it, after a yes on the terminal (never without a terminal)\n"
    "  --yes           erase without asking\n"
    "  --json          print one JSON object on standard output; progress stays on standard error\n"
    "  --trace FILE    record every byte on the line (JSON Lines: t_us, dir sent/echo/received, byte),\n"
    "                  written as it comes and ended at 64 MB\n"
    "trace-summary   show a trace as blocks with answer times and derailments\n"
    "  --svg OUT       also draw its timeline as SVG\n"
    "\n"
    "Exit codes:\n"
    "   0  done: the adapter fits, the diagnosis ran, the summary was written\n"
    "   1  out of memory, or another unexpected error\n"
    "   2  bad command line\n"
    "   3  adapter unusable: no echo, lost or changed echoes, too slow\n"
    "   4  the pump did not answer: no synchronisation, no block, lost link, no identification\n"
    "   5  fault memory not cleared: no terminal to confirm on and no --yes, or not confirmed\n"
    "   6  a trace or SVG file cannot be read or written\n"
    "  10  the port does not exist\n"
    "  11  no permission to open the port\n"
    "  12  the port is busy: another program holds it\n"
    "  13  any other port error\n";

// A hundred bytes: the 99th percentile then forgives one outlier, not more.
constexpr int kDefaultCount = 100;

struct Args {
    std::string command;
    std::string port;
    std::string file;  // trace-summary's trace
    std::string svg;
    std::string trace;
    int count = kDefaultCount;
    bool readFaults = false, clearFaults = false, yes = false, json = false, help = false;
};

// Raises core::EConvertError naming what is wrong.
Args Parse(const std::vector<std::string>& argv) {
    Args a;
    auto bad = [](const std::string& what) { throw core::EConvertError(what); };
    for (std::size_t i = 0; i < argv.size(); ++i) {
        const std::string& s = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argv.size() || argv[i + 1].empty()) bad("option " + s + " needs a value");
            return argv[++i];
        };
        if (s == "--help" || s == "-h" || (s == "help" && a.command.empty())) a.help = true;
        else if (s == "--port") a.port = value();
        else if (s == "--count") {
            const std::string v = value();
            if (v.find_first_not_of("0123456789") != std::string::npos || v.size() > 4 || std::stoi(v) < 1 ||
                std::stoi(v) > 1000)
                bad("--count takes a number from 1 to 1000");
            a.count = std::stoi(v);
        } else if (s == "--read-faults") a.readFaults = true;
        else if (s == "--clear-faults") a.clearFaults = true;
        else if (s == "--yes") a.yes = true;
        else if (s == "--json") a.json = true;
        else if (s == "--trace") a.trace = value();
        else if (s == "--svg") a.svg = value();
        else if (!s.empty() && s[0] == '-') bad("unknown option " + s);
        else if (a.command.empty()) a.command = s;
        else if (a.command == "trace-summary" && a.file.empty()) a.file = s;
        else bad("unexpected argument " + s);
    }
    if (a.help) return a;
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

int CheckAdapter(const Args& a) {
    auto com = window::MakeComPort();
    try {
        OpenLikeTheProgram(*com, a.port);
    } catch (const PortOpenError& e) {
        std::cerr << "pumpdiag-cli: " << e.Problem().reason << "\nhint: " << e.Problem().hint << "\n";
        return e.Problem().code;
    }
    // Described while open: a pseudo-terminal goes away with its last user.
    const AdapterInfo adapter = DescribeAdapter(a.port);
    const EchoMeasurement m = MeasureEcho(*com, a.count);
    com->ClosePort();
    const AdapterReport report = JudgeAdapter(m, a.port, adapter);
    std::cout << report.text;
    return report.verdict == AdapterVerdict::Fits ? kExitOk : kExitAdapterUnusable;
}

int TraceSummary(const Args& a) {
    std::vector<LineRecord> records;
    try {
        records = ReadTraceFile(a.file);
    } catch (const core::Exception& e) {
        std::cerr << "pumpdiag-cli: " << e.Message() << "\n";
        return kExitFile;
    }
    const Exchange ex = AnalyseTrace(records);
    std::cout << FormatExchange(ex);
    if (!a.svg.empty()) {
        std::ofstream svg(a.svg, std::ios::out | std::ios::trunc);
        svg << TimelineSvg(records, ex);
        svg.close();
        if (!svg) {
            std::cerr << "pumpdiag-cli: cannot write " << a.svg << "\n";
            return kExitFile;
        }
    }
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    Args a;
    try {
        a = Parse(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const core::Exception& e) {
        std::cerr << "pumpdiag-cli: " << e.Message() << "\n" << kUsage;
        return kExitUsage;
    }
    if (a.help) {
        std::cout << kUsage;
        return kExitOk;
    }
    try {
        if (a.command == "check-adapter") return CheckAdapter(a);
        if (a.command == "trace-summary") return TraceSummary(a);
        const StopSignals stop;
        return RunDiagnose({a.port, a.readFaults, a.clearFaults, a.yes, a.json, a.trace, &stop.Received()}, std::cout,
                           std::cerr);
    } catch (const core::Exception& e) {
        // A port failing in the middle: its message is all there is to say.
        std::cerr << "pumpdiag-cli: " << e.Message() << "\n";
        return kExitPortError;
    } catch (const std::bad_alloc&) {
        std::cerr << "pumpdiag-cli: out of memory\n";
        return kExitFailure;
    } catch (const std::exception& e) {
        std::cerr << "pumpdiag-cli: " << e.what() << "\n";
        return kExitFailure;
    }
}
