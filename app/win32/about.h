// The About dialog on Windows: the logo, an authorship line, an edition line
// and a Close button. Shown without modality; closing it hides it and brings
// the main window back.
#pragma once

#include <windows.h>

namespace app::win32 {

// Creates the dialog, shown at once and centred on the screen.
HWND CreateAbout();

}  // namespace app::win32
