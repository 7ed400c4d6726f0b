#include "window/win32/layout.h"

#include <map>
#include <tuple>

#include "core/text/win32_text.h"
#include "window/win32/controls.h"

namespace window::win32 {

int Scaled(int pixels, int dpi) { return MulDiv(pixels, dpi, 96); }

HFONT SansSerif(FontSpec spec, int dpi) {
    static std::map<std::tuple<int, bool, int>, HFONT> fonts;
    HFONT& font = fonts[{spec.pixels, spec.bold, dpi}];
    if (!font)
        font = CreateFontW(-Scaled(spec.pixels, dpi), 0, 0, 0, spec.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                           DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif");
    return font;
}

int SystemDpi() {
    HDC screen = GetDC(nullptr);
    const int value = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return value > 0 ? value : 96;
}

int WindowDpi(HWND window) {
    // Windows 10 and later; older systems have one DPI for all monitors.
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    const UINT dpi = getDpiForWindow ? getDpiForWindow(window) : 0;
    return dpi > 0 ? static_cast<int>(dpi) : SystemDpi();
}

HWND Layout::Make(HWND parent, const wchar_t* className, const std::string& text, DWORD style, int id, Place place,
                  FontSpec font, DWORD exStyle) {
    HWND control = CreateWindowExW(exStyle, className, core::WideText(text).c_str(), WS_CHILD | style,
                                   Scaled(place.left), Scaled(place.top), Scaled(place.width), Scaled(place.height),
                                   parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   GetModuleHandleW(nullptr), nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(Font(font)), FALSE);
    items_.push_back({control, place, font, false});
    return control;
}

HWND Layout::MakeLabel(HWND parent, int id, const std::string& text, DWORD style, int left, int top, FontSpec font) {
    HWND label = Make(parent, L"STATIC", "", style, id, {left, top, 1, 1}, font);
    items_.back().fitted = true;
    SetLabelText(label, text);
    return label;
}

void Layout::Apply(int dpi) {
    dpi_ = dpi;
    for (const Item& item : items_) {
        SendMessageW(item.control, WM_SETFONT, reinterpret_cast<WPARAM>(Font(item.font)), FALSE);
        SetWindowPos(item.control, nullptr, Scaled(item.place.left), Scaled(item.place.top), Scaled(item.place.width),
                     Scaled(item.place.height), SWP_NOZORDER | SWP_NOACTIVATE);
        if (item.fitted) FitToText(item.control);
        InvalidateRect(item.control, nullptr, TRUE);
    }
}

}  // namespace window::win32
