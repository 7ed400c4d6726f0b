#include "window/win32/controls.h"

#include <commctrl.h>

#include <optional>
#include <vector>

#include "core/text/win32_text.h"

namespace window::win32 {

void SetText(HWND control, const std::string& utf8) { SetWindowTextW(control, core::WideText(utf8).c_str()); }

std::string TextOf(HWND control) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return core::NarrowText(text);
}

void SetLabelText(HWND label, const std::string& utf8) {
    SetWindowTextW(label, core::WideText(utf8).c_str());
    FitToText(label);
}

void FitToText(HWND label) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(label)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(label, text.data(), static_cast<int>(text.size()))));
    const bool plain = (GetWindowLongPtrW(label, GWL_STYLE) & SS_NOPREFIX) != 0;
    HDC dc = GetDC(label);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(label, WM_GETFONT, 0, 0)));
    RECT size{};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &size,
              DT_CALCRECT | DT_SINGLELINE | (plain ? DT_NOPREFIX : 0));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(label, dc);
    SetWindowPos(label, nullptr, 0, 0, size.right, metrics.tmHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
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

namespace {
// Puts `owner` at the centre of the active window's monitor when it is on
// another one; returns where it was, to be put back.
std::optional<RECT> OwnerToActiveMonitor(HWND owner, HWND active) {
    if (!owner || !active || owner == active) return std::nullopt;
    HMONITOR monitor = MonitorFromWindow(active, MONITOR_DEFAULTTONEAREST);
    if (monitor == MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST)) return std::nullopt;
    MONITORINFO info{};
    info.cbSize = sizeof info;
    RECT was{};
    if (!GetMonitorInfoW(monitor, &info) || !GetWindowRect(owner, &was)) return std::nullopt;
    const int width = was.right - was.left, height = was.bottom - was.top;
    SetWindowPos(owner, nullptr, (info.rcWork.left + info.rcWork.right - width) / 2,
                 (info.rcWork.top + info.rcWork.bottom - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return was;
}
}  // namespace

void ShowModalBox(HWND owner, const std::wstring& title, const std::wstring& text, UINT iconFlags) {
    HWND active = GetActiveWindow();
    HWND focus = GetFocus();
    const std::optional<RECT> was = OwnerToActiveMonitor(owner, active);
    std::vector<HWND> disabled;
    EnumThreadWindows(GetCurrentThreadId(), &DisableOne, reinterpret_cast<LPARAM>(&disabled));
    MessageBoxW(owner, text.c_str(), title.c_str(), MB_OK | iconFlags);
    for (HWND window : disabled) EnableWindow(window, TRUE);
    if (was)
        SetWindowPos(owner, nullptr, was->left, was->top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (active && IsWindow(active)) SetActiveWindow(active);
    if (focus && IsWindow(focus)) SetFocus(focus);
}

}  // namespace window::win32
