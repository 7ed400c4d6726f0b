// TForm1's logic, free of any toolkit: the handlers of the main window (start-up,
// captions, port selection, help texts, the start, read and erase buttons, the
// timers) and the state that they and the engine's effects build. A face
// draws the state and calls the handlers; the engine sees the logic as its view.
//
// Threads:
//   the engine's effects (EngineView)  - any thread; applied through the face's Post
//   everything else                    - the GUI thread
#pragma once

#include <array>
#include <atomic>
#include <string>
#include <utility>
#include <vector>

#include "protocol/engine_view.h"
#include "protocol/pump_protocol.h"
#include "report/diagnosis.h"
#include "report/journal.h"
#include "report/journal_keeper.h"
#include "trace/link_failure.h"
#include "trace/tracing_port.h"
#include "window/adapter_check_run.h"
#include "window/form_face.h"
#include "window/form_state.h"
#include "window/port_component.h"
#include "window/port_scan.h"

namespace window {

class FormLogic : public protocol::EngineView {
public:
    FormLogic(FormFace& face, PortComponent& com);
    ~FormLogic() override;
    FormLogic(const FormLogic&) = delete;
    FormLogic& operator=(const FormLogic&) = delete;

    // The engine the handlers drive; its receive handler becomes the port's.
    void Attach(protocol::PumpProtocol& engine);
    // The port as the engine is to use it: the window's port, its line kept
    // in memory since the last start, read back when the link fails.
    protocol::PumpPort& LinePort() { return line_; }
    // The port the engine was given when it wraps LinePort() (the companion's
    // trace): what the logic itself sends on the line goes through it, so
    // that every record of the line shows it.
    void SetEnginePort(protocol::PumpPort& port) { enginePort_ = &port; }
    // Why the link failed last, as Memo2 and the journal got it; none since the last start.
    const cli::LinkFailure& Failure() const { return failure_; }
    // Closes the port, so that nothing arrives any more; never throws.
    void EndLine() noexcept;

    const FormState& State() const { return state_; }

    // --- handlers ---
    void FormCreate();
    void OpenPortFromIni();
    void LoadCaptions();
    void Com11Click();
    void Com21Click();
    void com31Click();
    void Com41Click();
    // Any port by name, as the four items choose theirs.
    void ChoosePort(const std::string& name);

    // The ports the computer has, looked for when the port menu opens: the
    // items below its four (the one in use checked), and the four's captions,
    // their names with what the system calls the port ("Com3 — USB Serial
    // Port (COM3)") where it has a name for it.
    struct PortMenuItem {
        FoundPort port;
        bool checked = false;
    };
    struct PortMenu {
        std::vector<PortMenuItem> found;
        std::array<std::string, 4> fixedCaptions;
    };
    PortMenu ScanPortMenu() const;
    // Where the ports are looked for (the system's device folder unless set).
    void SetDevFolder(std::string folder) { devFolder_ = std::move(folder); }
    void About1Click();
    void Button3Click();
    void Button4Click();
    void Button1Click();
    void timer1Timer();
    void Timer2Timer();
    void t50Click();
    void t51Click();
    void t52Click();
    void t53Click();
    void t54Click();
    void t55Click();
    void t56Click();
    void t57Click();
    void t58Click();
    void t59Click();
    void t5aClick();
    void t5bClick();
    void t5cClick();
    void t5dClick();
    void t5eClick();
    // The fault buttons' common work: the help text of `code` into Memo2.
    void ShowHelpText(int code);
    // The report menu: the report of this diagnosis, written to the user's
    // documents, its path shown in Memo2 and opened in the browser; the
    // journal's folder opened; the names the report's header prints edited.
    void MakeReportClick();
    void OpenJournalFolderClick();
    void ReportSettingsClick();
    // The report menu's captions in the user's language: the menu, its items.
    struct ReportMenuCaptions {
        std::string menu, makeReport, openJournalFolder, saveLine, settings;
    };
    // The line kept since the last start, written as a trace file beside the
    // reports, for whoever supports the workshop; where it went in a box.
    void SaveLineClick();
    static ReportMenuCaptions ReportMenuTexts();

    // The port menu's adapter check: the companion's check on the chosen
    // port, its report in a box, the port put back as it was. Refused while
    // the communication runs; while it runs, the start and the port's
    // choice are refused.
    void CheckAdapterClick();
    static std::string CheckAdapterMenuText();
    bool AdapterCheckRunning() const { return check_.Running(); }

    // What this diagnosis found so far: the identification, the fault reads
    // and the erase, each appended to the journal as it happens.
    const report::Diagnosis& Diagnosis() const { return diagnosis_; }
    // The journal's file (the user's folder's journal.csv unless set).
    void SetJournalPath(std::string path) {
        journal_.SetPath(path);
        journalPath_ = std::move(path);
    }
    const std::string& JournalFile() const { return journalPath_; }
    // Whether the last record could not be written to the journal (it is kept
    // pending, and written with the next one that can be).
    bool JournalBehind() const { return journal_.Behind(); }

    // The removal of the open port's device (a USB adapter pulled out), as
    // the window said it; empty since the port was last opened, while none.
    const std::string& PortRemoval() const { return portRemoval_; }

    // --- the engine's effects ---
    void SetFieldText(protocol::IdentField field, const std::string& text) override;
    void SetMemo2Text(const std::string& text) override;
    void SetControlEnabled(protocol::Control control, bool enabled) override;
    void SetFaultButtonVisible(int code, bool visible) override;
    void SetFaultButtonHint(int code, const std::string& hint) override;
    void SetStatusVisible(bool visible) override;
    void SetTimerEnabled(protocol::Timer timer, bool enabled) override;

private:
    protocol::PumpProtocol& Engine();
    void SetMemo2(std::string text);
    // The diagnosis's events, on the GUI thread.
    void Identified();
    void FaultsRead();
    void Erased();
    // The port's device went away: said, journalled, remembered.
    void PortRemoved(std::exception_ptr why);
    void Journal(report::JournalEvent event);
    void Journal(report::JournalEvent event, const report::Diagnosis& d);
    // The watchdog gave the start back: the line read back, its failure shown and journalled.
    void LinkLost();
    // One byte sent to see whether the adapter echoes; returns once its echo came, or in 300 ms.
    void ProbeEcho();
    // OpenPort, with port.ini's own fault (empty, a broken name) as the explanation of a failure.
    void OpenPortNamedInIni();
    // The communication runs: started, and the watchdog not yet given the start back.
    bool LinkStarted() const;
    // Refuses a handler while the adapter check has the port: true when refused.
    bool RefusedWhileChecking();
    // Lines 0 .. count-1 of `text` as Memo2 shows them.
    std::vector<std::string> ShownLines(const std::string& text, std::size_t count);

    FormFace& face_;
    PortComponent& com_;
    // The line's last minutes: its start kept, and the latest records.
    cli::TracingPort line_;
    protocol::PumpPort* enginePort_ = &line_;
    cli::LinkFailure failure_;
    bool startIdentified_ = false;  // the pump was identified since the last start
    protocol::PumpProtocol* engine_ = nullptr;
    FormState state_;
    std::string devFolder_ = DefaultDevFolder();
    report::Diagnosis diagnosis_;
    std::string journalPath_;
    report::JournalKeeper journal_{journalPath_};
    std::string portRemoval_;
    // The erase button clicked, its block not yet sent: any thread.
    std::atomic<bool> eraseRequested_{false};
    AdapterCheckRun check_{face_, com_};
};

// The click handler of the fault button of `code` (t50Click .. t5eClick).
using FormHandler = void (FormLogic::*)();
FormHandler FaultClickHandler(int code);

}  // namespace window
