#include "window/form_logic.h"

#include <array>
#include <chrono>
#include <thread>
#include <cstdint>
#include <cstdio>
#include <utility>

#include "core/platform/delay.h"
#include "core/platform/exception.h"
#include "core/platform/text_file.h"
#include "core/realtime/line_priority.h"
#include "core/text/format.h"
#include "localization/gettext.h"
#include "report/append_file.h"
#include "report/report_file.h"
#include "report/report_html.h"
#include "report/report_settings.h"
#include "report/user_folders.h"
#include "trace/line_trace.h"
#include "core/text/cp1251.h"
#include "window/form_files.h"
#include "window/handler_guard.h"
#include "window/port_ini.h"
#include "window/report_settings_dialog.h"

namespace window {

namespace {
const char* const kPortIni = "port.ini";
const char* const kCaptionFile = "caption.txt";
// Laying out a long line costs time in its length: the first try takes this
// much of it, and each further try twice as much.
constexpr std::size_t kFirstLayoutBytes = 1024;
constexpr std::uint16_t kSettleAfterOpenMs = 300;
// The line kept in memory: the start (wake-up, synchronisation, the first
// blocks: some 20 s) and the latest records (some 2.5 minutes at 9600 baud),
// 2.3 MB in all.
constexpr std::size_t kLineHeadRecords = 1 << 14;
constexpr std::size_t kLineTailRecords = 1 << 17;
// The byte sent to see the adapter's echo, and how long the echo may take:
// the engine's own echo wait (101 ms) with room for a loaded machine.
constexpr std::uint8_t kEchoProbe = 0xAA;
constexpr auto kEchoProbeWait = std::chrono::milliseconds(300);

bool IsFaultCode(int code) { return code >= kFirstFaultCode && code <= kLastFaultCode; }

std::string HelpFileName(int code) {
    char name[8];
    std::snprintf(name, sizeof name, "%02X.txt", static_cast<unsigned>(code));
    return name;
}

// The counter at the end of a fault button's hint.
int CounterOf(const std::string& hint) {
    const std::size_t digits = hint.find_last_not_of("0123456789") + 1;
    return digits < hint.size() ? std::stoi(hint.substr(digits)) : 0;
}

std::string Translated(const char* text) { return localization::TranslateUtf8(text); }
}  // namespace

FormLogic::FormLogic(FormFace& face, PortComponent& com)
    : face_(face), com_(com), line_(com, cli::kTraceFileLimit, kLineHeadRecords, kLineTailRecords),
      journalPath_(report::JournalPath()) {
    diagnosis_.version = report::ProgramVersion();
}

FormLogic::~FormLogic() { EndLine(); }

void FormLogic::Attach(protocol::PumpProtocol& engine) {
    engine_ = &engine;
    com_.OnRxChar = [this](int count) { engine_->Rx(count); };
    com_.GuiDispatcher = [this](std::function<void()> task) { face_.Post(std::move(task)); };
    com_.OnRemoved = [this](std::exception_ptr why) { PortRemoved(why); };
}

void FormLogic::EndLine() noexcept {
    // The monitoring thread calls into the engine, which posts to the face;
    // it has to end before either goes away; so has the adapter check's thread.
    check_.Abandon();
    try {
        if (com_.Connected()) com_.ClosePort();
    } catch (...) {
    }
    com_.OnRxChar = nullptr;
    com_.OnRemoved = nullptr;
    com_.GuiDispatcher = nullptr;
}

protocol::PumpProtocol& FormLogic::Engine() { return *engine_; }

// ---------------------------------------------------------------- start-up

void FormLogic::FormCreate() {
    Engine().SetFirstStartValues();
    OpenPortFromIni();
    Engine().SetRemainingStartValues();
    state_.button4Visible = true;
    face_.Draw(FormPart::Button4Shown, 0);
    LoadCaptions();
    SetMemo2({});
}

std::vector<std::string> FormLogic::ShownLines(const std::string& text, std::size_t count) {
    std::vector<std::string> shown;
    for (const std::string& line : FirstLines(text, count)) {
        if (shown.size() >= count) break;
        if (line.empty()) {
            shown.emplace_back();
            continue;
        }
        // Only a beginning of a long line is laid out: enough of it to give
        // one line more than is needed, since the last one may end where the
        // beginning was cut rather than where the whole line breaks.
        const std::size_t wanted = count - shown.size();
        std::vector<std::string> pieces;
        for (std::size_t bytes = kFirstLayoutBytes;; bytes *= 2) {
            const std::string_view part = Utf8Prefix(line, bytes);
            pieces = face_.Memo2Lines(std::string(part));
            if (part.size() == line.size() || pieces.size() > wanted) break;
        }
        if (pieces.size() > wanted) pieces.resize(wanted);
        for (std::string& piece : pieces) shown.push_back(std::move(piece));
    }
    return shown;
}

void FormLogic::LoadCaptions() {
    const std::string text = ReadFormFile(kCaptionFile);
    // An empty file (as an editor may leave it) keeps the stored captions
    // rather than blanking every menu and button.
    if (text.find_first_not_of(" \t\n") == std::string::npos) return;
    const std::vector<std::string> lines = ShownLines(text, kCaptionLines);
    auto line = [&lines](int n) { return static_cast<std::size_t>(n) < lines.size() ? lines[n] : std::string(); };
    for (const CaptionSlot& slot : kCaptionSlots) state_.captions[static_cast<std::size_t>(slot.target)] = line(slot.line);
    state_.connectionHelpText = line(kConnectionHelpTextLine);
    state_.connectionHelpCaption = line(kConnectionHelpCaptionLine);
    face_.Draw(FormPart::Captions, 0);
}

void FormLogic::About1Click() {
    face_.ShowBox({state_.connectionHelpCaption, state_.connectionHelpText, BoxIcon::Information});
}

// ---------------------------------------------------------------- port

void FormLogic::OpenPortFromIni() {
    Engine().ClearSynced();
    line_.MarkStart();
    state_.memo = ReadFormFile(kPortIni);
    // The name is the file's first line, however long.
    com_.SetPort(PortNameFromIni(state_.memo));
    state_.port = com_.Port();
    // A name that is none of the items' leaves the marks as they are.
    for (const char* item : kPortItemNames) {
        if (state_.port != item) continue;
        state_.checkedPort = item;
        face_.Draw(FormPart::PortItems, 0);
    }
    SetMemo2({});
    portRemoval_.clear();
    OpenPortNamedInIni();
    com_.PurgeBuffers(true, true);
    core::DelayMs(kSettleAfterOpenMs);
}

void FormLogic::OpenPortNamedInIni() {
    const std::string problem = PortIniProblem(state_.memo, state_.port, kPortIni);
    if (problem.empty()) return com_.OpenPort();
    // The port's error keeps its first line; the file explains the failure
    // better than the device can.
    try {
        com_.OpenPort();
    } catch (core::Exception& error) {
        const std::string& message = error.Message();
        error.SetMessage(message.substr(0, message.find('\n')) + "\n" + problem);
        throw;
    }
}

void FormLogic::ChoosePort(const std::string& name) {
    if (RefusedWhileChecking()) return;
    state_.checkedPort = name;
    state_.memo = name;
    face_.Draw(FormPart::PortItems, 0);
    core::WriteWholeTextFile(kPortIni, core::NormalizeLineEnds(core::Utf8ToCp1251(state_.memo)));
    if (com_.Connected()) com_.ClosePort();
    OpenPortFromIni();
}

FormLogic::PortMenu FormLogic::ScanPortMenu() const {
    PortMenu menu;
    for (int i = 0; i < 4; ++i) menu.fixedCaptions[static_cast<std::size_t>(i)] = kPortItemNames[i];
    for (FoundPort& port : ScanPorts(devFolder_)) {
        if (port.fixedItem >= 0) {
            menu.fixedCaptions[static_cast<std::size_t>(port.fixedItem)] += " \u2014 " + port.text;
            continue;
        }
        const bool inUse = port.name == state_.port;
        menu.found.push_back({std::move(port), inUse});
    }
    return menu;
}

// The port's own error, presented as its other errors are (an error box);
// choosing the port again from the menu closes the gone device and opens
// the adapter once it is back.
void FormLogic::PortRemoved(std::exception_ptr why) {
    try {
        std::rethrow_exception(why);
    } catch (const core::Exception& error) {
        portRemoval_ = error.Message();
    } catch (...) {
    }
    // The link's failure too: the watchdog that notices it later reads no other cause.
    failure_ = {"adapter_removed", portRemoval_};
    if (startIdentified_) {
        diagnosis_.failureCause = failure_.cause;
        diagnosis_.failureText = failure_.text;
    }
    report::Diagnosis about = diagnosis_.port == com_.Port() ? diagnosis_ : report::Diagnosis{};
    about.port = com_.Port();
    about.version = diagnosis_.version;
    Journal(report::JournalEvent::AdapterRemoved, about);
    try {
        std::rethrow_exception(why);
    } catch (...) {
        PresentEscapedError();
    }
}

void FormLogic::Com11Click() { ChoosePort(kPortItemNames[0]); }
void FormLogic::Com21Click() { ChoosePort(kPortItemNames[1]); }
void FormLogic::com31Click() { ChoosePort(kPortItemNames[2]); }
void FormLogic::Com41Click() { ChoosePort(kPortItemNames[3]); }

// ---------------------------------------------------------------- engine entries

void FormLogic::Button3Click() {
    if (RefusedWhileChecking()) return;
    // The line threads at normal priority ask again, while the wake-up
    // pattern runs: its 200 ms steps keep their time without real time.
    core::RenewLineThreadPriority();
    line_.MarkStart();
    failure_ = {};
    startIdentified_ = false;
    Engine().Button3Click();
}
void FormLogic::Button4Click() {
    // A read asked before the erase's block went out takes its place.
    eraseRequested_ = false;
    Engine().Button4Click();
}
void FormLogic::Button1Click() {
    eraseRequested_ = true;
    Engine().Button1Click();
}
void FormLogic::timer1Timer() {
    Engine().timer1Timer();
    // After the engine's effects: a watchdog that stopped has given the start back, the link is lost.
    face_.Post([this] {
        if (!state_.timers[protocol::Timer::Timer1]) LinkLost();
    });
}

// A start the pump did not answer sends no byte whose echo would show the
// adapter: one byte now, which a sleeping pump ignores, tells an adapter
// that echoes from none (nothing plugged in, no power, another port).
void FormLogic::ProbeEcho() {
    try {
        enginePort_->WriteText(std::string(1, static_cast<char>(kEchoProbe)));
    } catch (const core::Exception&) {
        return;  // the port's own error says more than the line can
    }
    // The monitoring thread reads the echo, as it reads any arrival.
    const auto until = std::chrono::steady_clock::now() + kEchoProbeWait;
    while (line_.Echoed() == 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void FormLogic::LinkLost() {
    // A removed adapter was said and journalled as it went.
    if (!portRemoval_.empty()) return SetMemo2(portRemoval_);
    cli::LineFacts facts = cli::WithAdapter({}, com_.Port());
    facts.synced = Engine().State().Synced;
    if (!facts.synced && line_.Sent() == 0) ProbeEcho();
    failure_ = cli::ReadLineBack(line_.Snapshot(), facts);
    std::string text = failure_.text;
    if (const core::NoRealTime why = core::LineRanWithoutRealTime(); why != core::NoRealTime::None)
        text += std::string(text.empty() ? "" : "\n") +
                Translated("The link was lost while the line ran without real-time priority:") + " " +
                Translated(core::NoRealTimeText(why)) + ".\n" +
                Translated("On a busy computer that is the likely cause: close other programs and start the "
                           "communication again.");
    if (!text.empty()) SetMemo2(std::move(text));
    if (!failure_.Failed()) return;
    // A link lost after the identification belongs to that pump's diagnosis;
    // a start that did not get so far, to no pump.
    if (!startIdentified_) {
        report::Diagnosis none;
        none.port = com_.Port();
        none.version = diagnosis_.version;
        none.failureCause = failure_.cause;
        none.failureText = failure_.text;
        return Journal(report::JournalEvent::LinkFailed, none);
    }
    diagnosis_.failureCause = failure_.cause;
    diagnosis_.failureText = failure_.text;
    Journal(report::JournalEvent::LinkFailed);
}
void FormLogic::Timer2Timer() {
    Engine().Timer2Timer();
    ++state_.timer2Ticks;
}

// ---------------------------------------------------------------- help texts

void FormLogic::SetMemo2(std::string text) {
    state_.memo2 = std::move(text);
    face_.Draw(FormPart::Memo2, 0);
}

void FormLogic::ShowHelpText(int code) {
    std::string text = ReadFormFile(HelpFileName(code));
    // An unchanged text is left as it is, caret and scroll position included.
    if (text != face_.Memo2Text()) SetMemo2(std::move(text));
    face_.FocusMemo2();
}

void FormLogic::t50Click() { ShowHelpText(0x50); }
void FormLogic::t51Click() { ShowHelpText(0x51); }
void FormLogic::t52Click() { ShowHelpText(0x52); }
void FormLogic::t53Click() { ShowHelpText(0x53); }
void FormLogic::t54Click() { ShowHelpText(0x54); }
void FormLogic::t55Click() { ShowHelpText(0x55); }
void FormLogic::t56Click() { ShowHelpText(0x56); }
void FormLogic::t57Click() { ShowHelpText(0x57); }
void FormLogic::t58Click() { ShowHelpText(0x58); }
void FormLogic::t59Click() { ShowHelpText(0x59); }
void FormLogic::t5aClick() { ShowHelpText(0x5A); }
void FormLogic::t5bClick() { ShowHelpText(0x5B); }
void FormLogic::t5cClick() { ShowHelpText(0x5C); }
void FormLogic::t5dClick() { ShowHelpText(0x5D); }
void FormLogic::t5eClick() { ShowHelpText(0x5E); }

FormHandler FaultClickHandler(int code) {
    static constexpr FormHandler kHandlers[15] = {
        &FormLogic::t50Click, &FormLogic::t51Click, &FormLogic::t52Click, &FormLogic::t53Click, &FormLogic::t54Click,
        &FormLogic::t55Click, &FormLogic::t56Click, &FormLogic::t57Click, &FormLogic::t58Click, &FormLogic::t59Click,
        &FormLogic::t5aClick, &FormLogic::t5bClick, &FormLogic::t5cClick, &FormLogic::t5dClick, &FormLogic::t5eClick};
    return kHandlers[code - kFirstFaultCode];
}

// ---------------------------------------------------------------- effects

void FormLogic::SetFieldText(protocol::IdentField field, const std::string& text) {
    face_.Post([this, field, text] {
        state_.fields[field] = text;
        face_.Draw(FormPart::Field, static_cast<int>(field));
        // The Bosch number is the identification's last field.
        if (field == protocol::IdentField::BoschNumber) Identified();
    });
}

void FormLogic::SetMemo2Text(const std::string& text) {
    face_.Post([this, text] { SetMemo2(text); });
}

void FormLogic::SetControlEnabled(protocol::Control control, bool enabled) {
    face_.Post([this, control, enabled] {
        state_.enabled[control] = enabled;
        face_.Draw(FormPart::Control, static_cast<int>(control));
    });
}

void FormLogic::SetFaultButtonVisible(int code, bool visible) {
    if (!IsFaultCode(code)) return;
    face_.Post([this, code, visible] {
        if (visible) state_.visibleFaults.insert(code);
        else state_.visibleFaults.erase(code);
        face_.Draw(FormPart::FaultButton, code);
    });
}

void FormLogic::SetFaultButtonHint(int code, const std::string& hint) {
    if (!IsFaultCode(code)) return;
    face_.Post([this, code, hint] {
        state_.hints[code] = hint;
        face_.Draw(FormPart::FaultButton, code);
    });
}

void FormLogic::SetStatusVisible(bool visible) {
    // Hidden as the erase's block has gone out. Taken here, where the engine
    // hides it, so that a read clicked before the effect is applied cannot
    // take the erase back.
    const bool erased = !visible && eraseRequested_.exchange(false);
    face_.Post([this, visible, erased] {
        state_.statusVisible = visible;
        face_.Draw(FormPart::Status, 0);
        if (erased) Erased();
    });
}

void FormLogic::SetTimerEnabled(protocol::Timer timer, bool enabled) {
    face_.Post([this, timer, enabled] {
        state_.timers[timer] = enabled;
        face_.Draw(FormPart::Timer, static_cast<int>(timer));
        // The fault display's timer stops once every fault read has its counter.
        if (timer == protocol::Timer::Timer2 && !enabled) FaultsRead();
    });
}

// ---------------------------------------------------------------- journal and report

void FormLogic::Journal(report::JournalEvent event) { Journal(event, diagnosis_); }

void FormLogic::Journal(report::JournalEvent event, const report::Diagnosis& d) {
    // The diagnosis goes on; the user hears of a failure once a streak, not at every record.
    const auto outcome = journal_.Record(report::JournalRecord(event, d, report::Now()));
    if (!outcome.written.empty()) face_.ShowBox({Translated("Journal"), outcome.written, BoxIcon::Information});
    if (!outcome.problem.empty())
        face_.ShowBox({Translated("Journal"), outcome.problem + "\n" + Translated("The diagnosis goes on."),
                       BoxIcon::Error});
}

void FormLogic::Identified() {
    using protocol::IdentField;
    const std::array<std::string, report::kIdentSlots> identification = {
        state_.fields[IdentField::BoschNumber], state_.fields[IdentField::SerialNumber],
        state_.fields[IdentField::OrName], state_.fields[IdentField::Id]};
    // The same pump on the same port after the link was started again: its
    // diagnosis goes on, faults read and erase included.
    if (!(diagnosis_.identified && diagnosis_.identification == identification && diagnosis_.port == com_.Port())) {
        report::Diagnosis d;
        d.time = report::Now();
        d.port = com_.Port();
        d.identified = true;
        d.identification = identification;
        d.version = diagnosis_.version;
        diagnosis_ = std::move(d);
    }
    startIdentified_ = true;
    Journal(report::JournalEvent::Identification);
}

void FormLogic::FaultsRead() {
    report::FaultRead read;
    read.done = true;
    for (int code : state_.visibleFaults) {
        const auto hint = state_.hints.find(code);
        report::Fault fault{code, hint == state_.hints.end() ? 0 : CounterOf(hint->second), ""};
        try {
            fault.help = report::FirstParagraph(ReadFormFile(HelpFileName(code)));
        } catch (const core::Exception&) {
            // No help text: the code and its counter are all the report has.
        }
        read.faults.push_back(std::move(fault));
    }
    (diagnosis_.erased ? diagnosis_.afterErase : diagnosis_.faults) = std::move(read);
    Journal(report::JournalEvent::FaultRead);
}

void FormLogic::Erased() {
    diagnosis_.erased = true;
    diagnosis_.erasedAt = report::Now();
    diagnosis_.afterErase = {};
    Journal(report::JournalEvent::Erase);
}

FormLogic::ReportMenuCaptions FormLogic::ReportMenuTexts() {
    return {Translated("Report"), Translated("Make report"), Translated("Open journal folder"),
            Translated("Save the line"), Translated("Workshop and technician...")};
}

void FormLogic::SaveLineClick() {
    const cli::LineSnapshot line = line_.Snapshot();
    // The snapshot's own end record aside.
    if (line.records.size() <= 1)
        return face_.ShowBox(
            {Translated("Save the line"),
             Translated("Nothing has passed on the line since the port was opened or the communication started."),
             BoxIcon::Information});
    std::string text;
    for (const cli::LineRecord& r : line.records) text += cli::FormatRecord(r) + "\n";
    const report::MadeReport saved =
        report::SaveInReportsFolder(report::FileStamp(report::Now()) + "_line.jsonl", text);
    if (!saved.error.empty()) return face_.ShowBox({Translated("Save the line"), saved.error, BoxIcon::Error});
    face_.ShowBox({Translated("Save the line"),
                   Translated("The line since the last start was saved to:") + "\n" + saved.path + "\n" +
                       Translated("Send this file to whoever supports your workshop."),
                   BoxIcon::Information});
}

void FormLogic::MakeReportClick() {
    if (!diagnosis_.identified) {
        face_.ShowBox({Translated("Report"), Translated("No pump has been identified yet: start the communication first."),
                       BoxIcon::Information});
        return;
    }
    const report::MadeReport made = report::MakeReport(diagnosis_, report::Now());
    if (!made.error.empty()) return face_.ShowBox({Translated("Report"), made.error, BoxIcon::Error});
    state_.lastReport = made.path;
    // Where it went stays in sight, whatever the browser does; and where the
    // header's names are set, while none is.
    std::string note = Translated("The report was written to:") + "\n" + made.path;
    const report::ReportSettings names = report::ReadReportSettings();
    if (names.workshop.empty() && names.technician.empty())
        note += "\n\n" + Translated("The report names no workshop and no technician: enter them in the Report menu, "
                                    "\"Workshop and technician...\".");
    SetMemo2(std::move(note));
    face_.OpenInSystem(made.path, [this, path = made.path](bool opened) {
        if (!opened)
            face_.ShowBox({Translated("Report"), Translated("The report was written but cannot be opened:") + "\n" + path,
                           BoxIcon::Information});
    });
}

void FormLogic::OpenJournalFolderClick() {
    const std::string folder = report::FolderOf(journalPath_);
    auto failed = [this, folder](const std::string& reason) {
        face_.ShowBox({Translated("Journal"), Translated("The journal folder cannot be opened:") + " " + folder + ": " + reason,
                       BoxIcon::Error});
    };
    const std::string reason = folder.empty() ? Translated("the user's folder is not known") : report::MakeFolders(folder);
    if (!reason.empty()) return failed(reason);
    face_.OpenInSystem(folder, [failed](bool opened) {
        if (!opened) failed(Translated("the system cannot open it"));
    });
}

void FormLogic::ReportSettingsClick() { EditReportSettings(face_); }

// ---------------------------------------------------------------- adapter check

std::string FormLogic::CheckAdapterMenuText() { return Translated(adapter_check_text::kMenu); }

bool FormLogic::LinkStarted() const {
    return !state_.enabled.at(protocol::Control::Button3) || state_.timers.at(protocol::Timer::Timer1);
}

bool FormLogic::RefusedWhileChecking() {
    if (!check_.Running()) return false;
    face_.ShowBox({Translated(adapter_check_text::kTitle), Translated(adapter_check_text::kBusy), BoxIcon::Information});
    return true;
}

void FormLogic::CheckAdapterClick() {
    if (RefusedWhileChecking()) return;
    if (LinkStarted())
        return face_.ShowBox(
            {Translated(adapter_check_text::kTitle), Translated(adapter_check_text::kLinkRuns), BoxIcon::Information});
    // Busy, and in sight: the start waits for the port.
    auto setStart = [this](bool enabled) {
        state_.enabled[protocol::Control::Button3] = enabled;
        face_.Draw(FormPart::Control, static_cast<int>(protocol::Control::Button3));
    };
    setStart(false);
    SetMemo2(core::FormatText(Translated(adapter_check_text::kChecking), {com_.Port()}));
    check_.Start([this, setStart](const AdapterCheckOutcome& outcome) {
        setStart(true);
        SetMemo2(outcome.text);
        face_.ShowBox({Translated(adapter_check_text::kTitle), outcome.text,
                       outcome.fits ? BoxIcon::Information : BoxIcon::Error});
    });
}

}  // namespace window
