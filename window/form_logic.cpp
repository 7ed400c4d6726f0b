#include "window/form_logic.h"

#include <cstdint>
#include <cstdio>
#include <utility>

#include "core/text/cp1251.h"
#include "core/platform/delay.h"
#include "core/platform/text_file.h"
#include "core/realtime/thread_priority.h"
#include "window/form_files.h"

namespace window {

namespace {
const char* const kPortIni = "port.ini";
const char* const kCaptionFile = "caption.txt";
// Laying out a long line costs time in its length: the first try takes this
// much of it, and each further try twice as much.
constexpr std::size_t kFirstLayoutBytes = 1024;
constexpr std::uint16_t kSettleAfterOpenMs = 300;

bool IsFaultCode(int code) { return code >= kFirstFaultCode && code <= kLastFaultCode; }
}  // namespace

FormLogic::FormLogic(FormFace& face, PortComponent& com) : face_(face), com_(com) {}

FormLogic::~FormLogic() { EndLine(); }

void FormLogic::Attach(protocol::PumpProtocol& engine) {
    engine_ = &engine;
    com_.OnRxChar = [this](int count) { engine_->Rx(count); };
}

void FormLogic::EndLine() noexcept {
    // The monitoring thread calls into the engine, which posts to the face;
    // it has to end before either goes away.
    try {
        if (com_.Connected()) com_.ClosePort();
    } catch (...) {
    }
    com_.OnRxChar = nullptr;
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
    const std::vector<std::string> lines = ShownLines(ReadFormFile(kCaptionFile), kCaptionLines);
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
    state_.memo = ReadFormFile(kPortIni);
    // The name is the file's first line, whole, however long.
    com_.SetPort(FirstLines(state_.memo, 1).front());
    state_.port = com_.Port();
    // A name that is none of the items' leaves the marks as they are.
    for (const char* item : kPortItemNames) {
        if (state_.port != item) continue;
        state_.checkedPort = item;
        face_.Draw(FormPart::PortItems, 0);
    }
    SetMemo2({});
    com_.OpenPort();
    com_.PurgeBuffers(true, true);
    core::DelayMs(kSettleAfterOpenMs);
}

void FormLogic::ChoosePort(const std::string& name) {
    state_.checkedPort = name;
    state_.memo = name;
    face_.Draw(FormPart::PortItems, 0);
    core::WriteWholeTextFile(kPortIni, core::NormalizeLineEnds(core::Utf8ToCp1251(state_.memo)));
    if (com_.Connected()) com_.ClosePort();
    OpenPortFromIni();
}

std::vector<FormLogic::PortMenuItem> FormLogic::FoundPortItems() const {
    std::vector<PortMenuItem> items;
    for (FoundPort& port : ScanPorts(devFolder_)) {
        const bool inUse = port.name == state_.port;
        items.push_back({std::move(port), inUse});
    }
    return items;
}

void FormLogic::Com11Click() { ChoosePort(kPortItemNames[0]); }
void FormLogic::Com21Click() { ChoosePort(kPortItemNames[1]); }
void FormLogic::com31Click() { ChoosePort(kPortItemNames[2]); }
void FormLogic::Com41Click() { ChoosePort(kPortItemNames[3]); }

// ---------------------------------------------------------------- engine entries

void FormLogic::Button3Click() {
    // The wake-up pattern's breaks and pauses are timed on this thread.
    core::ScopedRealTimePriority onTime;
    Engine().Button3Click();
}
void FormLogic::Button4Click() { Engine().Button4Click(); }
void FormLogic::Button1Click() { Engine().Button1Click(); }
void FormLogic::timer1Timer() { Engine().timer1Timer(); }
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
    char name[8];
    std::snprintf(name, sizeof name, "%02X.txt", static_cast<unsigned>(code));
    std::string text = ReadFormFile(name);
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
    face_.Post([this, visible] {
        state_.statusVisible = visible;
        face_.Draw(FormPart::Status, 0);
    });
}

void FormLogic::SetTimerEnabled(protocol::Timer timer, bool enabled) {
    face_.Post([this, timer, enabled] {
        state_.timers[timer] = enabled;
        face_.Draw(FormPart::Timer, static_cast<int>(timer));
    });
}

}  // namespace window
