// The Windows face's side of the form: drawing the form's state into the
// controls, and what the logic asks of a face.
#include <windows.h>
#include <shellapi.h>

#include <commctrl.h>

#include "core/text/win32_text.h"
#include "window/win32/control_ids.h"
#include "window/win32/controls.h"
#include "window/win32/fields_dialog_box.h"
#include "window/win32/form1.h"
#include "window/win32/gui_queue.h"

namespace window::win32 {

namespace {
std::wstring WithLineEnds(const std::wstring& text, const wchar_t* end) {
    std::wstring out;
    out.reserve(text.size());
    for (wchar_t c : text) {
        if (c == L'\r') continue;
        if (c == L'\n') out += end;
        else out += c;
    }
    return out;
}

std::wstring WindowText(HWND control) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

void SetMenuText(HMENU menu, UINT item, bool byPosition, const std::string& utf8) {
    std::wstring text = core::WideText(utf8);
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STRING;
    info.dwTypeData = text.data();
    SetMenuItemInfoW(menu, item, byPosition, &info);
}
}  // namespace

void TForm1::Post(std::function<void()> effect) { PostToGui(std::move(effect)); }

void TForm1::DrawCaptions() {
    const FormState& s = logic_.State();
    auto text = [&s](Caption target) -> const std::string& { return s.CaptionOf(target); };
    SetMenuText(MainMenu1, 0, true, text(Caption::Exit1));
    SetMenuText(MainMenu1, 1, true, text(Caption::N2));
    SetMenuText(MainMenu1, 2, true, text(Caption::Help1));
    SetMenuText(Help1, kAbout1, false, text(Caption::About1));
    DrawMenuBar(window_);
    SetText(GroupBox2, text(Caption::GroupBox2));
    SetText(Button3, text(Caption::Button3));
    SetText(Button4, text(Caption::Button4));
    SetText(button1, text(Caption::button1));
    SetText(status, text(Caption::status));
    SetText(window_, text(Caption::Title));
    SetLabelText(Label5, text(Caption::Label5));
    SetLabelText(Label2, text(Caption::Label2));
    SetLabelText(Label3, text(Caption::Label3));
    SetLabelText(Label1, text(Caption::Label1));
    SetLabelText(Label4, text(Caption::Label4));
}

void TForm1::DrawPortItems() {
    constexpr int kItems[4] = {kCom11, kCom21, kCom31, kCom41};
    for (std::size_t i = 0; i < 4; ++i)
        CheckMenuItem(N2, static_cast<UINT>(kItems[i]),
                      MF_BYCOMMAND | (logic_.State().checkedPort == kPortItemNames[i] ? MF_CHECKED : MF_UNCHECKED));
}

void TForm1::DrawTimer(protocol::Timer timer) {
    const std::size_t slot = timer == protocol::Timer::Timer1 ? 0 : 1;
    const bool enabled = logic_.State().timers.at(timer);
    // Enabling a running timer leaves its period as it is.
    if (enabled && !timerRunning_[slot])
        SetTimer(window_, slot + 1, static_cast<UINT>(TimerIntervalMs(timer)), nullptr);
    if (!enabled && timerRunning_[slot]) KillTimer(window_, slot + 1);
    timerRunning_[slot] = enabled;
}

void TForm1::DrawMemo2() {
    SetWindowTextW(Memo2, WithLineEnds(core::WideText(logic_.State().memo2), L"\r\n").c_str());
    SendMessageW(Memo2, EM_SETSEL, 0, 0);
    SendMessageW(Memo2, EM_SCROLLCARET, 0, 0);
}

void TForm1::Draw(FormPart part, int index) {
    const FormState& s = logic_.State();
    switch (part) {
        case FormPart::Captions: DrawCaptions(); break;
        case FormPart::PortItems: DrawPortItems(); break;
        case FormPart::Memo2: DrawMemo2(); break;
        case FormPart::Button4Shown: ShowWindow(Button4, s.button4Visible ? SW_SHOWNA : SW_HIDE); break;
        case FormPart::Field: {
            using protocol::IdentField;
            const auto field = static_cast<IdentField>(index);
            HWND target = field == IdentField::OrName         ? Or_name
                          : field == IdentField::Id           ? Id
                          : field == IdentField::SerialNumber ? S_n
                                                              : Id_b;
            SetText(target, s.fields.at(field));
            break;
        }
        case FormPart::Control: {
            const auto control = static_cast<protocol::Control>(index);
            HWND target = control == protocol::Control::Button3   ? Button3
                          : control == protocol::Control::Button4 ? Button4
                                                                  : button1;
            EnableWindow(target, s.enabled.at(control) ? TRUE : FALSE);
            break;
        }
        case FormPart::FaultButton: {
            HWND button = faultButtons[static_cast<std::size_t>(index - kFirstFaultCode)];
            ShowWindow(button, s.visibleFaults.count(index) != 0 ? SW_SHOWNA : SW_HIDE);
            RedrawWindow(GroupBox2, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN);
            const auto hint = s.hints.find(index);
            std::wstring text = WithLineEnds(core::WideText(hint == s.hints.end() ? "" : hint->second), L"\r\n");
            TTTOOLINFOW tool{};
            tool.cbSize = sizeof tool;
            tool.hwnd = GroupBox2;
            tool.uId = reinterpret_cast<UINT_PTR>(button);
            tool.lpszText = text.data();
            SendMessageW(tooltips_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
            break;
        }
        case FormPart::Status:
            ShowWindow(status, s.statusVisible ? SW_SHOWNA : SW_HIDE);
            RedrawWindow(GroupBox2, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN);
            break;
        case FormPart::Timer: DrawTimer(static_cast<protocol::Timer>(index)); break;
    }
}

std::vector<std::string> TForm1::Memo2Lines(const std::string& line) {
    const std::wstring text = core::WideText(line);
    SetWindowTextW(memo2Measure, text.c_str());
    std::vector<std::string> lines;
    const auto count = SendMessageW(memo2Measure, EM_GETLINECOUNT, 0, 0);
    for (LRESULT n = 0; n < count; ++n) {
        const auto start = static_cast<std::size_t>(SendMessageW(memo2Measure, EM_LINEINDEX, n, 0));
        const auto length = static_cast<std::size_t>(SendMessageW(memo2Measure, EM_LINELENGTH, start, 0));
        lines.push_back(start < text.size() ? core::NarrowText(text.substr(start, length)) : std::string());
    }
    SetWindowTextW(memo2Measure, L"");
    return lines;
}

std::string TForm1::Memo2Text() const { return core::NarrowText(WithLineEnds(WindowText(Memo2), L"\n")); }

void TForm1::FocusMemo2() { SetFocus(Memo2); }

void TForm1::ShowBox(const BoxRecord& box) {
    const UINT icon = box.icon == BoxIcon::Information ? MB_ICONINFORMATION
                      : box.icon == BoxIcon::Error     ? MB_ICONERROR
                                                       : 0;
    ShowModalBox(window_, core::WideText(box.title), core::WideText(box.text), icon);
}

bool TForm1::EditFields(FieldsDialog& dialog) { return ShowFieldsDialog(window_, dialog); }

// The file's program as the system has it (the browser for a report, the
// Explorer for a folder). ShellExecuteW answers once the program is started.
void TForm1::OpenInSystem(const std::string& path, std::function<void(bool opened)> answered) {
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(window_, L"open", core::WideText(path).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    answered(result > 32);
}

}  // namespace window::win32
