#include "window/win32/form1.h"

#include <commctrl.h>

#include <cstdio>
#include <stdexcept>

#include "core/text/win32_text.h"

#include "window/handler_guard.h"
#include "window/win32/control_ids.h"
#include "window/win32/controls.h"
#include "window/win32/layout.h"
#include "window/win32/pictures.h"

namespace window::win32 {

TForm1* Form1 = nullptr;
HWND About = nullptr;

namespace {
constexpr wchar_t kClassName[] = L"TForm1";
// Captions: an ampersand marks the accelerator. The fields show the pump's texts as they are.
constexpr DWORD kLabel = WS_VISIBLE | SS_LEFT;
constexpr DWORD kField = WS_VISIBLE | SS_CENTER | SS_CENTERIMAGE | SS_SUNKEN | SS_NOPREFIX;
constexpr DWORD kButton = WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD kArea = ES_MULTILINE | ES_WANTRETURN;

void RegisterFormClass() {
    static const bool registered = [] {
        WNDCLASSEXW type{};
        type.cbSize = sizeof type;
        type.lpfnWndProc = DefWindowProcW;  // replaced by the window's own once it exists
        type.hInstance = GetModuleHandleW(nullptr);
        type.hIcon = LoadIconW(type.hInstance, MAKEINTRESOURCEW(1));
        type.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        type.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        type.lpszClassName = kClassName;
        return RegisterClassExW(&type) != 0;
    }();
    (void)registered;
}
}  // namespace

TForm1::TForm1(std::unique_ptr<PortComponent> port)
    : com_(std::move(port)), logic_(*this, *com_), engine_(logic_.LinePort(), logic_) {
    RegisterFormClass();
    window_ = CreateWindowExW(WS_EX_CONTROLPARENT, kClassName, L"Диагностика VR - VP насосов", WS_OVERLAPPEDWINDOW,
                              CW_USEDEFAULT, CW_USEDEFAULT, layout_.Scaled(kWidth), layout_.Scaled(kHeight), nullptr,
                              nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!window_) throw std::runtime_error("the main window cannot be created");
    layout_ = Layout(WindowDpi(window_));
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProc));
    SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(layout_.Font(kWindowFont)), FALSE);
    BuildMenu();
    BuildControls();
    logic_.Attach(engine_);
}

TForm1::~TForm1() {
    // The line ends before this window, which the engine's effects reach, goes away.
    logic_.EndLine();
    if (Form1 == this) Form1 = nullptr;
    DestroyWindow(window_);
}

void TForm1::BuildMenu() {
    MainMenu1 = CreateMenu();
    AppendMenuW(MainMenu1, MF_STRING, kExit1, L"Выход");
    N2 = CreatePopupMenu();
    AppendMenuW(N2, MF_STRING, kCom11, L"Com1");
    AppendMenuW(N2, MF_STRING, kCom21, L"Com2");
    AppendMenuW(N2, MF_STRING, kCom31, L"Com3");
    AppendMenuW(N2, MF_STRING, kCom41, L"Com4");
    // Ours, at the menu's end: the adapter check on the chosen port.
    AppendMenuW(N2, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(N2, MF_STRING, kCheckAdapter1, core::WideText(FormLogic::CheckAdapterMenuText()).c_str());
    AppendMenuW(MainMenu1, MF_POPUP, reinterpret_cast<UINT_PTR>(N2), L"Настройки");
    Help1 = CreatePopupMenu();
    AppendMenuW(Help1, MF_STRING, kAbout1, L"Подключение");
    AppendMenuW(Help1, MF_SEPARATOR, 0, nullptr);  // N1
    AppendMenuW(Help1, MF_STRING, kAbout2, L"About");
    AppendMenuW(MainMenu1, MF_POPUP, reinterpret_cast<UINT_PTR>(Help1), L"Помощь");
    // Ours: the report and the journal, captions from the message catalog.
    const FormLogic::ReportMenuCaptions report = FormLogic::ReportMenuTexts();
    Report1 = CreatePopupMenu();
    AppendMenuW(Report1, MF_STRING, kMakeReport1, core::WideText(report.makeReport).c_str());
    AppendMenuW(Report1, MF_STRING, kOpenJournal1, core::WideText(report.openJournalFolder).c_str());
    AppendMenuW(Report1, MF_STRING, kSaveLine1, core::WideText(report.saveLine).c_str());
    AppendMenuW(Report1, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(Report1, MF_STRING, kReportSettings1, core::WideText(report.settings).c_str());
    AppendMenuW(MainMenu1, MF_POPUP, reinterpret_cast<UINT_PTR>(Report1), core::WideText(report.menu).c_str());
    SetMenu(window_, MainMenu1);
}

void TForm1::BuildControls() {
    // Made in tab order: the order of the window's children is the order Tab visits them.
    constexpr FontSpec font = kWindowFont, bold13{13, true};
    Layout& l = layout_;
    Button3 = l.Make(window_, L"BUTTON", "Начать коммуникацию", WS_VISIBLE | kButton, kButton3, {332, 24, 257, 33},
                     bold13);
    Button4 = l.Make(window_, L"BUTTON", "Проверить ошибки", WS_DISABLED | kButton, kButton4, {332, 64, 257, 33},
                     {11, true});

    GroupBox1 = l.Make(window_, L"BUTTON", "", WS_VISIBLE | BS_GROUPBOX, kGroupBox1, {332, 104, 257, 113}, font,
                       WS_EX_CONTROLPARENT);
    ForwardToTop(GroupBox1, false);
    Label2 = l.MakeLabel(GroupBox1, kLabel2, "Номер по Бош", kLabel, 20, 8, font);
    Label3 = l.MakeLabel(GroupBox1, kLabel3, "Id номер", kLabel, 176, 8, font);
    Label1 = l.MakeLabel(GroupBox1, kLabel1, "Оригинальный номер", kLabel, 10, 48, font);
    Label4 = l.MakeLabel(GroupBox1, kLabel4, "Серийный номер", kLabel, 154, 48, font);
    Id_b = l.Make(GroupBox1, L"STATIC", "", kField, kIdB, {8, 24, 113, 17}, font);
    S_n = l.Make(GroupBox1, L"STATIC", "", kField, kSN, {144, 24, 105, 17}, font);
    Id = l.Make(GroupBox1, L"STATIC", "", kField, kId, {144, 72, 105, 17}, font);
    Or_name = l.Make(GroupBox1, L"STATIC", "", kField, kOrName, {8, 72, 113, 17}, font);

    GroupBox2 = l.Make(window_, L"BUTTON", " Ошибки ", WS_VISIBLE | BS_GROUPBOX, kGroupBox2, {12, 16, 313, 97}, bold13,
                       WS_EX_CONTROLPARENT);
    ForwardToTop(GroupBox2, true);
    status = l.Make(GroupBox2, L"STATIC", "Ошибок не обнаружено", WS_VISIBLE | SS_CENTER | WS_BORDER, kStatus,
                    {24, 40, 265, 20}, bold13);
    BuildFaultButtons();

    button1 = l.Make(window_, L"BUTTON", "Стереть ошибки     ", WS_VISIBLE | WS_DISABLED | kButton, kButton1,
                     {12, 128, 313, 49}, {16, true});
    DrawEraser();

    Label5 = l.MakeLabel(window_, kLabel5, "Диагностика VP и VR насосов", kLabel, 20, 187, {19, false});
    memo = l.Make(window_, L"EDIT", "memo", kArea | WS_TABSTOP, kMemo, {48, 296, 449, 25}, font, WS_EX_CLIENTEDGE);
    Memo2 = l.Make(window_, L"EDIT", "", WS_VISIBLE | kArea | WS_TABSTOP, kMemo2, {12, 224, 577, 177}, font,
                   WS_EX_CLIENTEDGE);
    // Breaks lines as Memo2 does, out of sight.
    memo2Measure = l.Make(window_, L"EDIT", "", kArea, kMemo2Measure, {12, 224, 577, 177}, font, WS_EX_CLIENTEDGE);
    for (HWND area : {memo, Memo2, memo2Measure}) SendMessageW(area, EM_SETLIMITTEXT, 0, 0);
}

void TForm1::BuildFaultButtons() {
    tooltips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    // Hints of several lines keep their line ends.
    SendMessageW(tooltips_, TTM_SETMAXTIPWIDTH, 0, layout_.Scaled(kTipWidth));
    for (int order = 1; order <= 15; ++order) {
        for (const FaultButtonPlace& place : kFaultButtonPlaces) {
            if (place.tabOrder != order) continue;
            char caption[4];
            std::snprintf(caption, sizeof caption, "%x", static_cast<unsigned>(place.code));
            HWND button = layout_.Make(GroupBox2, L"BUTTON", caption, kButton, kFirstFaultButton + place.code - 0x50,
                                       {place.left, place.top, 25, 25}, {13, true});
            faultButtons[static_cast<std::size_t>(place.code - 0x50)] = button;
            TTTOOLINFOW tool{};
            tool.cbSize = sizeof tool;
            tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
            tool.hwnd = GroupBox2;
            tool.uId = reinterpret_cast<UINT_PTR>(button);
            tool.lpszText = const_cast<wchar_t*>(L"");
            SendMessageW(tooltips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        }
    }
}

void TForm1::DrawEraser() {
    BUTTON_IMAGELIST picture{EraserImages(layout_.Dpi()), {layout_.Scaled(4), 0, 0, 0}, BUTTON_IMAGELIST_ALIGN_RIGHT};
    SendMessageW(button1, BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&picture));
}

// Moved to a monitor of another scale: everything again at the new DPI, in
// the rectangle the system suggests.
void TForm1::DpiChanged(int dpi, const RECT& suggested) {
    layout_.Apply(dpi);
    SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(layout_.Font(kWindowFont)), FALSE);
    SendMessageW(tooltips_, TTM_SETMAXTIPWIDTH, 0, layout_.Scaled(kTipWidth));
    DrawEraser();
    SetWindowPos(window_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    RedrawWindow(window_, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void TForm1::Show() {
    if (!shownOnce_) {
        shownOnce_ = true;
        RECT area{};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
        const int width = layout_.Scaled(kWidth), height = layout_.Scaled(kHeight);
        SetWindowPos(window_, nullptr, (area.left + area.right - width) / 2, (area.top + area.bottom - height) / 2,
                     width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ShowWindow(window_, SW_SHOW);
    SetForegroundWindow(window_);
}

// ---------------------------------------------------------------- messages

LRESULT CALLBACK TForm1::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* form = reinterpret_cast<TForm1*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    // No error may cross the system's frames: each is presented here and the loop goes on.
    try {
        if (form) return form->Handle(message, wParam, lParam);
    } catch (...) {
        PresentEscapedError();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT TForm1::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED) Command(LOWORD(wParam));
            return 0;
        case WM_INITMENUPOPUP:
            if (reinterpret_cast<HMENU>(wParam) == N2) ListFoundPorts();
            return 0;
        case WM_TIMER:
            if (wParam == 1) logic_.timer1Timer();
            if (wParam == 2) logic_.Timer2Timer();
            return 0;
        case WM_CTLCOLORSTATIC: {
            const auto control = reinterpret_cast<HWND>(lParam);
            if (control != Id_b && control != S_n && control != Id && control != Or_name) break;
            SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNHIGHLIGHT));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNHIGHLIGHT));
        }
        case WM_SETCURSOR:
            if (GetParent(reinterpret_cast<HWND>(wParam)) == GroupBox2 && reinterpret_cast<HWND>(wParam) != status) {
                SetCursor(LoadCursorW(nullptr, IDC_HAND));
                return TRUE;
            }
            if (reinterpret_cast<HWND>(wParam) != window_) return FALSE;
            break;
        case WM_GETMINMAXINFO: {
            auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
            limits->ptMinTrackSize = {layout_.Scaled(kMinWidth), layout_.Scaled(kMinHeight)};
            limits->ptMaxTrackSize = limits->ptMaxSize = {layout_.Scaled(kMaxWidth), layout_.Scaled(kMaxHeight)};
            return 0;
        }
        case WM_DPICHANGED:
            DpiChanged(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_CLOSE:
            // The main window's closing ends the program, also while About is shown.
            PostQuitMessage(0);
            return 0;
        default: break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

void TForm1::Command(int id) {
    using Handler = void (FormLogic::*)();
    static constexpr struct {
        int id;
        Handler handler;
    } kCommands[] = {
        {kButton3, &FormLogic::Button3Click}, {kButton4, &FormLogic::Button4Click},
        {kButton1, &FormLogic::Button1Click}, {kCom11, &FormLogic::Com11Click},
        {kCom21, &FormLogic::Com21Click},     {kCom31, &FormLogic::com31Click},
        {kCom41, &FormLogic::Com41Click},     {kAbout1, &FormLogic::About1Click},
        {kMakeReport1, &FormLogic::MakeReportClick}, {kOpenJournal1, &FormLogic::OpenJournalFolderClick},
        {kSaveLine1, &FormLogic::SaveLineClick},
        {kReportSettings1, &FormLogic::ReportSettingsClick}, {kCheckAdapter1, &FormLogic::CheckAdapterClick},
    };
    for (const auto& command : kCommands)
        if (command.id == id) return (logic_.*command.handler)();
    if (id >= kFirstFaultButton && id < kFirstFaultButton + 15) return (logic_.*FaultClickHandler(id - 0x100))();
    if (id >= kFirstFoundPort && id < kFirstFoundPort + static_cast<int>(foundPorts_.size()))
        return logic_.ChoosePort(foundPorts_[static_cast<std::size_t>(id - kFirstFoundPort)]);
    if (id == kExit1) return (void)PostMessageW(window_, WM_CLOSE, 0, 0);
    if (id == kAbout2) return About2Click();
    if (id == kGroupBox2) return GroupBox2Click();
}

void TForm1::ListFoundPorts() {
    // The found ports lie between the four and the adapter check's separator and item.
    constexpr int kFixed = 4, kCheckItems = 2;
    while (GetMenuItemCount(N2) > kFixed + kCheckItems) DeleteMenu(N2, kFixed, MF_BYPOSITION);
    foundPorts_.clear();
    const FormLogic::PortMenu menu = logic_.ScanPortMenu();
    for (UINT i = 0; i < 4; ++i) {
        std::wstring caption = core::WideText(menu.fixedCaptions[i]);
        MENUITEMINFOW text{};
        text.cbSize = sizeof text;
        text.fMask = MIIM_STRING;
        text.dwTypeData = caption.data();
        SetMenuItemInfoW(N2, i, TRUE, &text);
    }
    const std::vector<FormLogic::PortMenuItem>& found = menu.found;
    if (found.empty()) return;
    InsertMenuW(N2, kFixed, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    for (const FormLogic::PortMenuItem& item : found) {
        const int id = kFirstFoundPort + static_cast<int>(foundPorts_.size());
        InsertMenuW(N2, static_cast<UINT>(kFixed + 1 + foundPorts_.size()),
                    MF_BYPOSITION | MF_STRING | (item.checked ? MF_CHECKED : 0), static_cast<UINT_PTR>(id),
                    core::WideText(item.port.text).c_str());
        foundPorts_.push_back(item.port.name);
    }
}

void TForm1::About2Click() {
    ShowWindow(window_, SW_HIDE);
    if (!About) return;
    ShowWindow(About, SW_SHOW);
    SetForegroundWindow(About);
}

void TForm1::GroupBox2Click() {
    HWND t57 = faultButtons[7];
    InvalidateRect(t57, nullptr, TRUE);
    UpdateWindow(t57);
}

}  // namespace window::win32
