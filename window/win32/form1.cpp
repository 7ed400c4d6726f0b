#include "window/win32/form1.h"

#include <commctrl.h>

#include <cstdio>
#include <stdexcept>

#include "core/text/win32_text.h"

#include "window/handler_guard.h"
#include "window/win32/control_ids.h"
#include "window/win32/controls.h"
#include "window/win32/pictures.h"

namespace window::win32 {

TForm1* Form1 = nullptr;
HWND About = nullptr;

namespace {
constexpr wchar_t kClassName[] = L"TForm1";
constexpr DWORD kLabel = WS_VISIBLE | SS_LEFT | SS_NOPREFIX;
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

HWND Label(HWND parent, int id, const char* text, int left, int top, HFONT font) {
    HWND label = MakeControl(parent, L"STATIC", "", kLabel, id, {left, top, 1, 1}, font);
    SetLabelText(label, text);
    return label;
}
}  // namespace

TForm1::TForm1(std::unique_ptr<PortComponent> port)
    : com_(std::move(port)), logic_(*this, *com_), engine_(*com_, logic_) {
    RegisterFormClass();
    window_ = CreateWindowExW(WS_EX_CONTROLPARENT, kClassName, L"Диагностика VR - VP насосов", WS_OVERLAPPEDWINDOW,
                              CW_USEDEFAULT, CW_USEDEFAULT, Scaled(kWidth), Scaled(kHeight), nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    if (!window_) throw std::runtime_error("the main window cannot be created");
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProc));
    SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(SansSerif(11, false)), FALSE);
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
    AppendMenuW(MainMenu1, MF_POPUP, reinterpret_cast<UINT_PTR>(N2), L"Настройки");
    Help1 = CreatePopupMenu();
    AppendMenuW(Help1, MF_STRING, kAbout1, L"Подключение");
    AppendMenuW(Help1, MF_SEPARATOR, 0, nullptr);  // N1
    AppendMenuW(Help1, MF_STRING, kAbout2, L"About");
    AppendMenuW(MainMenu1, MF_POPUP, reinterpret_cast<UINT_PTR>(Help1), L"Помощь");
    SetMenu(window_, MainMenu1);
}

void TForm1::BuildControls() {
    // Made in tab order: the order of the window's children is the order Tab visits them.
    const HFONT font = SansSerif(11, false), bold13 = SansSerif(13, true);
    Button3 = MakeControl(window_, L"BUTTON", "Начать коммуникацию", WS_VISIBLE | kButton, kButton3,
                          {332, 24, 257, 33}, bold13);
    Button4 = MakeControl(window_, L"BUTTON", "Проверить ошибки", WS_DISABLED | kButton, kButton4, {332, 64, 257, 33},
                          SansSerif(11, true));

    GroupBox1 = MakeControl(window_, L"BUTTON", "", WS_VISIBLE | BS_GROUPBOX, kGroupBox1, {332, 104, 257, 113}, font,
                            WS_EX_CONTROLPARENT);
    ForwardToTop(GroupBox1, false);
    Label2 = Label(GroupBox1, kLabel2, "Номер по Бош", 20, 8, font);
    Label3 = Label(GroupBox1, kLabel3, "Id номер", 176, 8, font);
    Label1 = Label(GroupBox1, kLabel1, "Оригинальный номер", 10, 48, font);
    Label4 = Label(GroupBox1, kLabel4, "Серийный номер", 154, 48, font);
    Id_b = MakeControl(GroupBox1, L"STATIC", "", kField, kIdB, {8, 24, 113, 17}, font);
    S_n = MakeControl(GroupBox1, L"STATIC", "", kField, kSN, {144, 24, 105, 17}, font);
    Id = MakeControl(GroupBox1, L"STATIC", "", kField, kId, {144, 72, 105, 17}, font);
    Or_name = MakeControl(GroupBox1, L"STATIC", "", kField, kOrName, {8, 72, 113, 17}, font);

    GroupBox2 = MakeControl(window_, L"BUTTON", " Ошибки ", WS_VISIBLE | BS_GROUPBOX, kGroupBox2, {12, 16, 313, 97},
                            bold13, WS_EX_CONTROLPARENT);
    ForwardToTop(GroupBox2, true);
    status = MakeControl(GroupBox2, L"STATIC", "Ошибок не обнаружено", WS_VISIBLE | SS_CENTER | WS_BORDER | SS_NOPREFIX,
                         kStatus, {24, 40, 265, 20}, bold13);
    BuildFaultButtons();

    button1 = MakeControl(window_, L"BUTTON", "Стереть ошибки     ", WS_VISIBLE | WS_DISABLED | kButton, kButton1,
                          {12, 128, 313, 49}, SansSerif(16, true));
    BUTTON_IMAGELIST picture{EraserImages(), {4, 0, 0, 0}, BUTTON_IMAGELIST_ALIGN_RIGHT};
    SendMessageW(button1, BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&picture));

    Label5 = Label(window_, kLabel5, "Диагностика VP и VR насосов", 20, 187, SansSerif(19, false));
    memo = MakeControl(window_, L"EDIT", "memo", kArea | WS_TABSTOP, kMemo, {48, 296, 449, 25}, font, WS_EX_CLIENTEDGE);
    Memo2 = MakeControl(window_, L"EDIT", "", WS_VISIBLE | kArea | WS_TABSTOP, kMemo2, {12, 224, 577, 177}, font,
                        WS_EX_CLIENTEDGE);
    // Breaks lines as Memo2 does, out of sight.
    memo2Measure = MakeControl(window_, L"EDIT", "", kArea, kMemo2Measure, {12, 224, 577, 177}, font, WS_EX_CLIENTEDGE);
    for (HWND area : {memo, Memo2, memo2Measure}) SendMessageW(area, EM_SETLIMITTEXT, 0, 0);
}

void TForm1::BuildFaultButtons() {
    tooltips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    // Hints of several lines keep their line ends.
    SendMessageW(tooltips_, TTM_SETMAXTIPWIDTH, 0, Scaled(400));
    for (int order = 1; order <= 15; ++order) {
        for (const FaultButtonPlace& place : kFaultButtonPlaces) {
            if (place.tabOrder != order) continue;
            char caption[4];
            std::snprintf(caption, sizeof caption, "%x", static_cast<unsigned>(place.code));
            HWND button = MakeControl(GroupBox2, L"BUTTON", caption, kButton, kFirstFaultButton + place.code - 0x50,
                                      {place.left, place.top, 25, 25}, SansSerif(13, true));
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

void TForm1::Show() {
    if (!shownOnce_) {
        shownOnce_ = true;
        RECT area{};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
        const int width = Scaled(kWidth), height = Scaled(kHeight);
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
            limits->ptMinTrackSize = {Scaled(kMinWidth), Scaled(kMinHeight)};
            limits->ptMaxTrackSize = limits->ptMaxSize = {Scaled(kMaxWidth), Scaled(kMaxHeight)};
            return 0;
        }
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
    while (GetMenuItemCount(N2) > 4) DeleteMenu(N2, 4, MF_BYPOSITION);
    foundPorts_.clear();
    const std::vector<FormLogic::PortMenuItem> found = logic_.FoundPortItems();
    if (found.empty()) return;
    AppendMenuW(N2, MF_SEPARATOR, 0, nullptr);
    for (const FormLogic::PortMenuItem& item : found) {
        const int id = kFirstFoundPort + static_cast<int>(foundPorts_.size());
        AppendMenuW(N2, MF_STRING | (item.checked ? MF_CHECKED : 0), static_cast<UINT_PTR>(id),
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
