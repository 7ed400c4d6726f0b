// The Windows face's building blocks on user32, gdi32 and comctl32: the
// program's fonts, child controls made at 96-dpi places scaled to the screen,
// texts set and read as UTF-8, labels that size themselves to their text.
#pragma once

#include <windows.h>

#include <string>

namespace window::win32 {

// "MS Sans Serif" at a pixel height (at 96 dpi), kept for the whole run.
HFONT SansSerif(int pixelSize, bool bold);

// Pixels at 96 dpi on the screen in use.
int Scaled(int pixels);

struct Place {
    int left, top, width, height;
};

HWND MakeControl(HWND parent, const wchar_t* className, const std::string& text, DWORD style, int id, Place place,
                 HFONT font, DWORD exStyle = 0);

void SetText(HWND control, const std::string& utf8);
std::string TextOf(HWND control);

// Sets a label's text and sizes it to the text, growing to the right.
void SetLabelText(HWND label, const std::string& utf8);

// A group frame whose children's notifications reach the top window, as if
// they sat on it. With `clickable`, a click on the frame's own area reports
// the frame's id to the top window as a button click.
void ForwardToTop(HWND frame, bool clickable);

// The modal box of the program: title, text, icon, one OK button, owned by
// `owner`. While it is open the thread's other top-level windows are
// disabled; the active window and its focus come back when it closes.
void ShowModalBox(HWND owner, const std::wstring& title, const std::wstring& text, UINT iconFlags);

}  // namespace window::win32
