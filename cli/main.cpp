// pumpdiag-cli: the diagnostic program's companion on the command line.
#include <fstream>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "adapter/adapter_check.h"
#include "cli/command_line.h"
#include "cli/diagnose.h"
#include "trace/exchange.h"
#include "cli/exit_codes.h"
#include "trace/line_trace.h"
#include "cli/journal_command.h"
#include "cli/port_open.h"
#include "cli/stop_signals.h"
#include "trace/timeline_svg.h"
#include "core/platform/exception.h"
#include "core/platform/running_mark.h"
#include "report/journal.h"

namespace {

using namespace cli;

int CheckAdapter(const Args& a) {
    auto com = window::MakeComPort();
    try {
        OpenLikeTheProgram(*com, a.port);
    } catch (const PortOpenError& e) {
        std::cerr << "pumpdiag-cli: " << e.Problem().reason << "\nhint: " << e.Problem().hint << "\n";
        return e.Problem().code;
    }
    // Described while open: a pseudo-terminal goes away with its last user.
    const serial::device::AdapterInfo info = serial::device::DescribeAdapter(a.port);
    const adapter::EchoMeasurement m = adapter::MeasureEcho(*com, a.count);
    com->ClosePort();
    const adapter::AdapterReport report = adapter::JudgeAdapter(m, a.port, info);
    std::cout << report.text;
    return report.verdict == adapter::AdapterVerdict::Fits ? kExitOk : kExitAdapterUnusable;
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
    // The installer must not replace files under a running companion either.
    core::HoldRunningMark();
    Args a;
    try {
        a = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const core::Exception& e) {
        std::cerr << "pumpdiag-cli: " << e.Message() << "\nTry 'pumpdiag-cli --help' for more information.\n";
        return kExitUsage;
    }
    if (a.help) {
        std::cout << Usage();
        return kExitOk;
    }
    if (a.version) {
        std::cout << "pumpdiag-cli " PUMPDIAG_VERSION "\n";
        return kExitOk;
    }
    try {
        if (a.command == "check-adapter") return CheckAdapter(a);
        if (a.command == "trace-summary") return TraceSummary(a);
        if (a.command == "journal") return ListJournal({report::JournalPath(), a.serial, a.since, a.json}, std::cout, std::cerr);
        const StopSignals stop;
        return RunDiagnose({a.port, a.readFaults, a.clearFaults, a.yes, a.json, a.trace, a.report, &stop.Received()},
                           std::cout, std::cerr);
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
