#include "window/win32/controls.h"

#include <commctrl.h>

#include <map>
#include <utility>
#include <vector>

#include "core/text/win32_text.h"

namespace window::win32 {

HFONT SansSerif(int pixelSize, bool bold) {
    static std::map<std::pair<int, bool>, HFONT> fonts;
    HFONT& font = fonts[{pixelSize, bold}];
    if (!font)
        font = CreateFontW(-Scaled(pixelSize), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
                           L"MS Sans Serif");
    return font;
}

int Scaled(int pixels) {
    static const int dpi = [] {
        HDC screen = GetDC(nullptr);
        const int value = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
        return value > 0 ? value : 96;
    }();
    return MulDiv(pixels, dpi, 96);
}

HWND MakeControl(HWND parent, const wchar_t* className, const std::string& text, DWORD style, int id, Place place,
                 HFONT font, DWORD exStyle) {
    HWND control = CreateWindowExW(exStyle, className, core::WideText(text).c_str(), WS_CHILD | style,
                                   Scaled(place.left), Scaled(place.top), Scaled(place.width), Scaled(place.height),
                                   parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   GetModuleHandleW(nullptr), nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
}

void SetText(HWND control, const std::string& utf8) { SetWindowTextW(control, core::WideText(utf8).c_str()); }

std::string TextOf(HWND control) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return core::NarrowText(text);
}

void SetLabelText(HWND label, const std::string& utf8) {
    const std::wstring text = core::WideText(utf8);
    SetWindowTextW(label, text.c_str());
    HDC dc = GetDC(label);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(label, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(label, dc);
    SetWindowPos(label, nullptr, 0, 0, size.cx, metrics.tmHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

namespace {
LRESULT CALLBACK FrameProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR clickable) {
    switch (message) {
        case WM_COMMAND:
        case WM_NOTIFY:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            return SendMessageW(GetAncestor(frame, GA_ROOT), message, wParam, lParam);
        case WM_ERASEBKGND: {
            // The frame's own area, so that a child hidden inside it leaves no trace.
            RECT area{};
            GetClientRect(frame, &area);
            FillRect(reinterpret_cast<HDC>(wParam), &area, GetSysColorBrush(COLOR_BTNFACE));
            return TRUE;
        }
        case WM_NCHITTEST:
            if (clickable) return HTCLIENT;
            break;
        case WM_LBUTTONUP:
            if (clickable)
                SendMessageW(GetAncestor(frame, GA_ROOT), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(frame), BN_CLICKED),
                             reinterpret_cast<LPARAM>(frame));
            return 0;
        default: break;
    }
    return DefSubclassProc(frame, message, wParam, lParam);
}

BOOL CALLBACK DisableOne(HWND window, LPARAM list) {
    if (IsWindowVisible(window) && IsWindowEnabled(window)) {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
        EnableWindow(window, FALSE);
    }
    return TRUE;
}
}  // namespace

void ForwardToTop(HWND frame, bool clickable) { SetWindowSubclass(frame, &FrameProc, 1, clickable ? 1 : 0); }

void ShowModalBox(HWND owner, const std::wstring& title, const std::wstring& text, UINT iconFlags) {
    HWND active = GetActiveWindow();
    HWND focus = GetFocus();
    std::vector<HWND> disabled;
    EnumThreadWindows(GetCurrentThreadId(), &DisableOne, reinterpret_cast<LPARAM>(&disabled));
    MessageBoxW(owner, text.c_str(), title.c_str(), MB_OK | iconFlags);
    for (HWND window : disabled) EnableWindow(window, TRUE);
    if (active && IsWindow(active)) SetActiveWindow(active);
    if (focus && IsWindow(focus)) SetFocus(focus);
}

}  // namespace window::win32
