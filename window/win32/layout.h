// A window's controls at their places at 96 dpi, scaled to the DPI of the
// monitor the window is on, and laid out again, places, sizes and fonts,
// when the window moves to a monitor of another scale (WM_DPICHANGED).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace window::win32 {

struct Place {
    int left, top, width, height;
};

// "MS Sans Serif" at a pixel height at 96 dpi.
struct FontSpec {
    int pixels;
    bool bold;
};

int Scaled(int pixels, int dpi);
// The font for `dpi`, kept for the whole run.
HFONT SansSerif(FontSpec font, int dpi);
// The DPI of the window's monitor; the system's where the system cannot tell
// a window's own.
int WindowDpi(HWND window);
int SystemDpi();

class Layout {
public:
    explicit Layout(int dpi) : dpi_(dpi) {}

    int Dpi() const { return dpi_; }
    int Scaled(int pixels) const { return win32::Scaled(pixels, dpi_); }
    HFONT Font(FontSpec font) const { return SansSerif(font, dpi_); }

    HWND Make(HWND parent, const wchar_t* className, const std::string& text, DWORD style, int id, Place place,
              FontSpec font, DWORD exStyle = 0);
    // A label that sizes itself to its text, growing to the right of (left, top).
    HWND MakeLabel(HWND parent, int id, const std::string& text, DWORD style, int left, int top, FontSpec font);

    // Every control to its place and font at `dpi`, labels fitted to their texts again.
    void Apply(int dpi);

private:
    struct Item {
        HWND control;
        Place place;
        FontSpec font;
        bool fitted;
    };
    std::vector<Item> items_;
    int dpi_;
};

}  // namespace window::win32
