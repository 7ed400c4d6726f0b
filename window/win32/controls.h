// The Windows face's building blocks on user32, gdi32 and comctl32: the
// texts set and read as UTF-8, labels that size themselves to their text,
// group frames that pass their children's notifications on, the modal box.
#pragma once

#include <windows.h>

#include <string>

namespace window::win32 {

void SetText(HWND control, const std::string& utf8);
std::string TextOf(HWND control);

// Sets a label's text and sizes it to the text, growing to the right.
void SetLabelText(HWND label, const std::string& utf8);
// Sizes a label to its text in its font; an ampersand marks the accelerator
// unless the label is SS_NOPREFIX.
void FitToText(HWND label);

// A group frame whose children's notifications reach the top window, as if
// they sat on it. With `clickable`, a click on the frame's own area reports
// the frame's id to the top window as a button click.
void ForwardToTop(HWND frame, bool clickable);

// The modal box of the program: title, text, icon, one OK button, owned by
// `owner`. While it is open the thread's other top-level windows are
// disabled; the active window and its focus come back when it closes. When
// the active window is on another monitor than `owner`, the owner goes to
// the centre of that monitor while the box is open, so the box opens there.
void ShowModalBox(HWND owner, const std::wstring& title, const std::wstring& text, UINT iconFlags);

}  // namespace window::win32
