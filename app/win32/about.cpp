#include "app/win32/about.h"

#include "app/about_lines.h"
#include "window/handler_guard.h"
#include "window/win32/control_ids.h"
#include "window/win32/controls.h"
#include "window/win32/form1.h"
#include "window/win32/pictures.h"

namespace app::win32 {

namespace {
using namespace window::win32;
constexpr int kClientWidth = 202, kClientHeight = 226;
constexpr wchar_t kClassName[] = L"TAbout";

// Closing, by bt1, the close box, the system menu or the keyboard, shows the
// main window and hides the dialog; it never ends the program.
void FormClose(HWND dialog) {
    if (Form1) ShowWindow(Form1->Handle(), SW_SHOW);
    ShowWindow(dialog, SW_HIDE);
}

LRESULT CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        switch (message) {
            case WM_CLOSE: FormClose(dialog); return 0;
            case WM_COMMAND:
                // The dialog has no cancel button: Escape (IDCANCEL) does nothing.
                if (LOWORD(wParam) == kAboutClose && HIWORD(wParam) == BN_CLICKED) FormClose(dialog);
                return 0;
            case WM_SHOWWINDOW:
                if (wParam) SetFocus(GetDlgItem(dialog, kAboutClose));
                break;
            default: break;
        }
    } catch (...) {
        window::PresentEscapedError();
        return 0;
    }
    return DefWindowProcW(dialog, message, wParam, lParam);
}
}  // namespace

HWND CreateAbout() {
    WNDCLASSEXW type{};
    type.cbSize = sizeof type;
    type.lpfnWndProc = &AboutProc;
    type.hInstance = GetModuleHandleW(nullptr);
    type.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    type.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    type.lpszClassName = kClassName;
    RegisterClassExW(&type);
    constexpr DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    RECT outer{0, 0, Scaled(kClientWidth), Scaled(kClientHeight)};
    AdjustWindowRectEx(&outer, style, FALSE, WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT);
    const int width = outer.right - outer.left, height = outer.bottom - outer.top;
    RECT area{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    HWND dialog = CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, kClassName, L"About", style,
                                  (area.left + area.right - width) / 2, (area.top + area.bottom - height) / 2, width,
                                  height, nullptr, nullptr, type.hInstance, nullptr);
    const HFONT font = SansSerif(11, false);
    SendMessageW(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    HWND image = MakeControl(dialog, L"STATIC", "", WS_VISIBLE | SS_BITMAP, 0, {40, 8, 129, 129}, font);
    SendMessageW(image, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(LogoBitmap()));
    HWND label1 = MakeControl(dialog, L"STATIC", "", WS_VISIBLE | SS_NOPREFIX, 0, {16, 144, 1, 1}, font);
    SetLabelText(label1, AuthorshipLine());
    HWND label2 = MakeControl(dialog, L"STATIC", "", WS_VISIBLE | SS_NOPREFIX, 0, {8, 160, 1, 1}, font);
    SetLabelText(label2, EditionLine());
    MakeControl(dialog, L"BUTTON", "Close", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, kAboutClose, {8, 184, 185, 33},
                font);
    ShowWindow(dialog, SW_SHOW);
    return dialog;
}

}  // namespace app::win32
