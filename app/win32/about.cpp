#include "app/win32/about.h"

#include "app/about_lines.h"
#include "window/handler_guard.h"
#include "window/win32/control_ids.h"
#include "window/win32/controls.h"
#include "window/win32/form1.h"
#include "window/win32/layout.h"
#include "window/win32/pictures.h"

namespace app::win32 {

namespace {
using namespace window::win32;
constexpr int kClientWidth = 202, kClientHeight = 226;
constexpr wchar_t kClassName[] = L"TAbout";
constexpr FontSpec kFont{11, false};
constexpr int kImage1 = 2;  // Image1's control number, for the DPI's picture

// The dialog's controls at their places; one dialog for the whole run.
Layout& AboutLayout() {
    static Layout layout(SystemDpi());
    return layout;
}

void DrawLogo(HWND dialog) {
    HWND image = GetDlgItem(dialog, kImage1);
    const auto previous = reinterpret_cast<HBITMAP>(
        SendMessageW(image, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(LogoBitmap(AboutLayout().Dpi()))));
    if (previous) DeleteObject(previous);
}

// Moved to a monitor of another scale: controls, font and picture at the new
// DPI, the dialog in the rectangle the system suggests.
void DpiChanged(HWND dialog, int dpi, const RECT& suggested) {
    AboutLayout().Apply(dpi);
    SendMessageW(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(AboutLayout().Font(kFont)), FALSE);
    DrawLogo(dialog);
    SetWindowPos(dialog, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

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
            case WM_DPICHANGED:
                DpiChanged(dialog, LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
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
    RECT outer{0, 0, AboutLayout().Scaled(kClientWidth), AboutLayout().Scaled(kClientHeight)};
    AdjustWindowRectEx(&outer, style, FALSE, WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT);
    const int width = outer.right - outer.left, height = outer.bottom - outer.top;
    RECT area{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    HWND dialog = CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, kClassName, L"About", style,
                                  (area.left + area.right - width) / 2, (area.top + area.bottom - height) / 2, width,
                                  height, nullptr, nullptr, type.hInstance, nullptr);
    Layout& layout = AboutLayout();
    if (const int dpi = WindowDpi(dialog); dpi != layout.Dpi()) {
        // Created on a monitor of another scale than the system's.
        layout = Layout(dpi);
        RECT client{0, 0, layout.Scaled(kClientWidth), layout.Scaled(kClientHeight)};
        AdjustWindowRectEx(&client, style, FALSE, WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT);
        SetWindowPos(dialog, nullptr, 0, 0, client.right - client.left, client.bottom - client.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    SendMessageW(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(layout.Font(kFont)), FALSE);
    layout.Make(dialog, L"STATIC", "", WS_VISIBLE | SS_BITMAP, kImage1, {40, 8, 129, 129}, kFont);
    DrawLogo(dialog);
    layout.MakeLabel(dialog, 0, AuthorshipLine(), WS_VISIBLE | SS_NOPREFIX, 16, 144, kFont);
    layout.MakeLabel(dialog, 0, EditionLine(), WS_VISIBLE | SS_NOPREFIX, 8, 160, kFont);
    layout.Make(dialog, L"BUTTON", "Close", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, kAboutClose,
                {8, 184, 185, 33}, kFont);
    ShowWindow(dialog, SW_SHOW);
    return dialog;
}

}  // namespace app::win32
