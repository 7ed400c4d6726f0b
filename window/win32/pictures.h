// The program's pictures on the Windows face, drawn with GDI at run time
// (the program's icon is a resource).
#pragma once

#include <windows.h>
#include <commctrl.h>

namespace window::win32 {

// button1's eraser, 16 x 16, as an image list for the button: the picture,
// with white (the lower-left pixel's colour) transparent, and a greyed copy
// for the disabled button.
HIMAGELIST EraserImages();

// The About dialog's logo, 127 x 127 on white: "Pump" in red and "Tools" in
// black above a desktop computer and a handheld device.
HBITMAP LogoBitmap();

}  // namespace window::win32
