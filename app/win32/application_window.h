// The application's hidden owner window: it carries the application title and
// owns the error boxes.
#pragma once

#include <windows.h>

namespace app::win32 {

// Made on first use, on the GUI thread.
HWND ApplicationWindow();

}  // namespace app::win32
