// The program's pictures on the Windows face, drawn with GDI at run time
// (the program's icon is a resource).
#pragma once

#include <windows.h>
#include <commctrl.h>

namespace window::win32 {

// Both are drawn for a DPI: their sizes at 96 dpi, scaled.

// button1's eraser, 16 x 16, as an image list for the button: the picture,
// with white transparent, and for the disabled button a copy all in light
// greys, outline included. Kept for the whole run.
HIMAGELIST EraserImages(int dpi);

// The About dialog's logo, 127 x 127 on white: "Pump" in red and "Tools" in
// black above a desktop computer and a handheld device. The caller owns it.
HBITMAP LogoBitmap(int dpi);

}  // namespace window::win32
