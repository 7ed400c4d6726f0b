// Whether a handle just opened by a port's name is a communications device.
// Names such as NUL, \\.\PhysicalDrive0 or C:\windows\win.ini open as well,
// and nothing may be written to them: they are refused before any use.
#pragma once

#include <windows.h>

namespace serial::device {

// The handle when it is a communications device (a character device whose
// properties and state the communications functions read). Otherwise closes
// it, sets the last error to ERROR_BAD_DEVICE and returns INVALID_HANDLE_VALUE.
HANDLE KeepIfCommDevice(HANDLE handle);

}  // namespace serial::device
