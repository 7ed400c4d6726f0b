// What main does before the program proper starts: refuse to start without a
// display, and the launcher's folder error box.
#pragma once

namespace app {

// The environment variable through which the launcher asks for the folder
// error box instead of the program: it holds the box's text.
inline constexpr const char* kFolderErrorVariable = "PUMPDIAG_FOLDER_ERROR";
inline constexpr const char* kNoDisplayMessage = "no display: start it from the desktop, or set DISPLAY";

// Whether the window system the toolkit will use has no display to open:
// DISPLAY and WAYLAND_DISPLAY empty, and QT_QPA_PLATFORM unset or naming only
// X11 or Wayland (a display-less platform such as offscreen needs none).
bool DisplayMissing();

// Shows text in an error box titled with the program's name; returns the
// exit code, 1, once the box is closed.
int ShowFolderError(int argc, char** argv, const char* text);

}  // namespace app
