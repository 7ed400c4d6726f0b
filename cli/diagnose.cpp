#include "cli/diagnose.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>

#include "cli/diagnosis_report.h"
#include "trace/exchange.h"
#include "trace/link_failure.h"
#include "cli/headless_window.h"
#include "cli/port_open.h"
#include "trace/tracing_port.h"
#include "core/platform/delay.h"
#include "core/platform/exception.h"
#include "core/realtime/line_priority.h"
#include "localization/runtime.h"
#include "report/report_file.h"
#include "report/report_html.h"
#include "serial/com_error.h"

namespace cli {

namespace {

using namespace std::chrono_literals;
using protocol::Control;

// The window waits this long after opening the port before anything else.
constexpr std::uint16_t kSettleAfterOpenMs = 300;
// Beyond the watchdog, which ends a start that gets no answer: how long each
// step may take while blocks flow without reaching it.
constexpr auto kStepLimit = 20s;
constexpr auto kAnswerLimit = 120s;

const char* StepName(MissingStep step) {
    switch (step) {
        case MissingStep::Synchronisation: return "synchronisation";
        case MissingStep::Block: return "block";
        case MissingStep::Link: return "link";
        default: return "identification";
    }
}

class Diagnosis {
public:
    Diagnosis(const DiagnoseOptions& options, std::ostream& out, std::ostream& err)
        : options_(options), out_(out), err_(err), com_(window::MakeComPort()), window_(*com_),
          trace_(window_.LinePort()), engine_(trace_, window_) {
        window_.Attach(engine_);
        window_.SetEnginePort(trace_);
        com_->OnRxChar = [this](int count) { engine_.Rx(count); };
        report_.port = options.port;
        report_.clearRequested = options.clearFaults;
    }
    // The port closes first, so that no arrival reaches the engine as it goes.
    ~Diagnosis() {
        try {
            com_->ClosePort();
        } catch (...) {
        }
        com_->OnRxChar = nullptr;
    }

    int Run() {
        if (!options_.trace.empty()) trace_.WriteTo(options_.trace);
        // What the window's creation does around the port's opening.
        engine_.SetFirstStartValues();
        engine_.ClearSynced();
        OpenLikeTheProgram(*com_, options_.port);
        core::DelayMs(kSettleAfterOpenMs);
        engine_.SetRemainingStartValues();

        window_.Button3Click();
        err_ << "woken: wake-up pattern sent\n";
        if (!Await([this] { return engine_.State().Synced; }, kStepLimit)) return Failed();
        err_ << "synchronised\n";
        if (!Await([this] { return Shows(Control::Button4); }, kStepLimit)) return Failed();
        report_.identified = true;
        TakeIdentification(window_.State(), report_);
        err_ << "identified\n";
        if (!options_.json) out_ << "Port: " << options_.port << "\n" << IdentificationText(report_);

        if (options_.readFaults) {
            if (!ReadFaults(report_.faults)) return Failed();
            if (!options_.json) out_ << FaultsText(report_.faults) << std::flush;
        }
        int code = kExitOk;
        if (options_.clearFaults) {
            code = Clear();
            if (code == kExitPumpSilent || StopSignal()) return Failed();
        }
        return Finish(code);
    }

    // The adapter went away while the port was open: the port's failure,
    // whatever the line showed before it.
    int Removed(const std::string& said) {
        report_.failure = {"adapter_removed", said};
        return PortFailure({kExitPortError, "the adapter on " + options_.port + " was removed",
                            "plug the adapter in again and run the command again"});
    }

    int PortFailure(const PortProblem& problem) {
        report_.error = problem.reason;
        err_ << "pumpdiag-cli: " << problem.reason << "\n" << "hint: " << problem.hint << "\n";
        return Finish(problem.code);
    }

private:
    bool Shows(Control control) const { return window_.State().enabled.at(control); }
    int StopSignal() const { return options_.stopSignal ? options_.stopSignal->load() : 0; }

    // Runs the window until `reached`, or until the watchdog gives the start
    // button back (the link has ended) or `limit` passes.
    bool Await(const std::function<bool()>& reached, std::chrono::seconds limit) {
        bool ended = false;
        window_.RunUntil(
            [&] {
                if (reached()) return true;
                if (StopSignal()) return true;
                // A removed adapter ends the link at once, without the watchdog.
                ended = Shows(Control::Button3) || !window_.PortRemoval().empty();
                return ended;
            },
            limit);
        return !ended && !StopSignal() && reached();
    }

    bool ReadFaults(FaultList& into) {
        window_.Button4Click();
        err_ << "reading faults\n";
        const int ticks = window_.State().timer2Ticks;
        if (!Await([&] { return window_.State().timer2Ticks > ticks; }, kStepLimit)) return false;
        into = TakeFaults(window_.State());
        return true;
    }

    int Clear() {
        if (!options_.yes && !Confirmed()) {
            err_ << "fault memory not cleared: not confirmed\n";
            return kExitNotConfirmed;
        }
        window_.Button1Click();
        err_ << "clearing faults\n";
        // A click while a block goes out ends the engine's clear flag with
        // that block; the request itself goes out with the next one.
        if (!Await([this] { return ClearSent(engine_.State()); }, kStepLimit)) return kExitPumpSilent;
        // Cleared when the line shows the clear request answered byte by byte.
        const Exchange ex = AnalyseTrace(trace_.Records());
        report_.cleared = std::any_of(ex.blocks.begin(), ex.blocks.end(), [](const Block& b) {
            return !b.fromPump && b.bytes.size() > 2 && b.bytes[2] == 0x05;
        });
        err_ << (report_.cleared ? "clear request sent\n" : "the clear request did not go out\n");
        if (options_.readFaults) {
            if (!ReadFaults(report_.afterClear)) return kExitPumpSilent;
            if (!options_.json) out_ << "After clearing: " << FaultsText(report_.afterClear);
        }
        return report_.cleared ? kExitOk : kExitPumpSilent;
    }

    static bool ClearSent(const protocol::ProtocolState& state) {
        return !state.ClearPending && !(state.PendingCommand == protocol::ClearFaultsCommand);
    }

    // Asks on the terminal; the engine keeps the link alive meanwhile.
    bool Confirmed() {
        if (!::isatty(STDIN_FILENO)) return false;
        err_ << "Erase the pump's fault memory? Type yes to confirm: " << std::flush;
        std::string answer;
        for (;;) {
            if (window_.RunUntil([this] { return StopSignal() != 0; }, kAnswerLimit, STDIN_FILENO) !=
                HeadlessWindow::Outcome::Input)
                return false;
            char c;
            if (::read(STDIN_FILENO, &c, 1) != 1 || c == '\n') break;
            answer += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        return answer == "y" || answer == "yes";
    }

    // Which step did not happen, as the line shows it.
    int Failed() {
        LineFacts facts = WithAdapter({}, options_.port);
        TakeRealTime();
        EndLine();
        if (const int signal = StopSignal()) {
            report_.error = "stopped by signal " + std::to_string(signal);
            err_ << "pumpdiag-cli: " << report_.error << "\n";
            return Finish(128 + signal);
        }
        if (!window_.PortRemoval().empty()) return Removed(window_.PortRemoval());
        const std::vector<LineRecord> records = trace_.Records();
        if (const std::string flood = FloodVerdict(trace_.Arrived(), records.empty() ? 0 : records.back().us);
            !flood.empty()) {
            report_.missingStep = StepName(engine_.State().Synced ? MissingStep::None : MissingStep::Synchronisation);
            report_.error = flood;
        } else {
            const Exchange ex = AnalyseTrace(records);
            MissingStep step = ex.missing;
            if (step == MissingStep::None && !engine_.State().Synced) step = MissingStep::Synchronisation;
            report_.missingStep = StepName(step);
            report_.error = step == MissingStep::None
                                ? "no identification: blocks went back and forth, but the identification did not "
                                  "complete (" + ex.verdict + ")"
                                : ex.verdict;
            for (std::size_t i = 0; i < ex.derailments.size() && i < 3; ++i)
                report_.error += "; " + ex.derailments[i].text;
        }
        // The window's own reading when its watchdog ended the link (the
        // journal has it so); the line's otherwise, as the window would read it.
        report_.failure = window_.Failure();
        if (!report_.failure.Failed()) {
            facts.synced = engine_.State().Synced;
            report_.failure = ReadLineBack(trace_.Snapshot(), facts);
        }
        err_ << "pumpdiag-cli: the pump did not answer: " << report_.error << "\n";
        if (!options_.json) out_ << FailureText(report_.failure);
        if (!report_.noRealTime.empty())
            err_ << "pumpdiag-cli: the line ran without real-time priority: " << report_.noRealTime
                 << "; on a busy computer that is the likely cause\n";
        return Finish(kExitPumpSilent);
    }

    // Closes the port and ends the trace, so that the trace's end marks
    // how long the line stayed quiet.
    void EndLine() {
        try {
            com_->ClosePort();
        } catch (const core::Exception&) {
        }
        try {
            trace_.Finish();
        } catch (const core::Exception& e) {
            err_ << "pumpdiag-cli: " << e.Message() << "\n";
            traceFailed_ = true;
        }
        if (const std::string note = trace_.FileLimitNote(); !note.empty() && !limitNoted_) {
            err_ << "pumpdiag-cli: " << note << "\n";
            limitNoted_ = true;
        }
    }

    // The report of what was found, its help texts from the companion's folders.
    int WriteReport() {
        report::Diagnosis d = window_.Diagnosis();
        // A failure the watchdog did not see (a step that took too long) is the run's too.
        if (d.failureText.empty() && report_.failure.Failed()) {
            d.failureCause = report_.failure.cause;
            d.failureText = report_.failure.text;
        }
        if (!d.identified) {
            err_ << "pumpdiag-cli: no report: the pump was not identified\n";
            return kExitFile;
        }
        for (report::FaultRead* read : {&d.faults, &d.afterErase})
            for (report::Fault& f : read->faults)
                if (f.help.empty()) f.help = report::FirstParagraph(HelpText(f.code));
        try {
            // In the user's language, from the catalogs beside the companion.
            const localization::RuntimeScope language;
            report::WriteReport(d, options_.report);
        } catch (const core::Exception& e) {
            err_ << "pumpdiag-cli: " << e.Message() << "\n";
            return kExitFile;
        }
        err_ << "report written to " << options_.report << "\n";
        return kExitOk;
    }

    // Whether the line ran at real time, asked while its threads still run.
    void TakeRealTime() {
        if (realTimeTaken_) return;
        realTimeTaken_ = true;
        report_.noRealTime = core::NoRealTimeText(core::LineRanWithoutRealTime());
    }

    int Finish(int code) {
        TakeRealTime();
        EndLine();
        if (traceFailed_ && code == kExitOk) code = kExitFile;
        // A record kept pending: the journal could not be written (a later run writes it).
        if (window_.JournalBehind() && code == kExitOk) code = kExitFile;
        if (!options_.report.empty() && WriteReport() != kExitOk && code == kExitOk) code = kExitFile;
        if (options_.json) out_ << ReportJson(report_);
        return code;
    }

    const DiagnoseOptions& options_;
    std::ostream& out_;
    std::ostream& err_;
    std::unique_ptr<window::PortComponent> com_;
    HeadlessWindow window_;
    // Outside the window's own record of the line: the whole run, and the file.
    TracingPort trace_;
    protocol::PumpProtocol engine_;
    DiagnosisReport report_;
    bool traceFailed_ = false;
    bool limitNoted_ = false;
    bool realTimeTaken_ = false;
};

}  // namespace

int RunDiagnose(const DiagnoseOptions& options, std::ostream& out, std::ostream& err) {
    // Nothing is touched when a clear could not be confirmed.
    if (options.clearFaults && !options.yes && !::isatty(STDIN_FILENO)) {
        err << "pumpdiag-cli: refusing to clear the fault memory without confirmation: there is no terminal to "
               "ask on; give --yes to clear without asking\n";
        return kExitNotConfirmed;
    }
    Diagnosis diagnosis(options, out, err);
    try {
        return diagnosis.Run();
    } catch (const PortOpenError& e) {
        return diagnosis.PortFailure(e.Problem());
    } catch (const serial::EComPort& e) {
        if (e.DeviceRemoved()) return diagnosis.Removed(e.Message());
        return diagnosis.PortFailure({kExitPortError, "port error: " + e.Message(), "check the adapter and its cable"});
    } catch (const core::EFCreateError& e) {
        err << "pumpdiag-cli: " << e.Message() << "\n";
        return kExitFile;
    }
}

}  // namespace cli
