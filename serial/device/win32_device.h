// The Windows backend of the device layer: the kernel32 communications
// functions on a COM device opened for overlapped I/O.
#pragma once

#include <memory>
#include <string>

#include "serial/device/device.h"

namespace serial::device {

// Opens `path` (\\.\COMn) exclusively for overlapped I/O; on failure null
// with GetLastError() in `error`. While the device is open the system timer
// runs at its finest (core/platform/fine_timer_win32.h).
std::shared_ptr<SerialDevice> OpenWin32Device(const std::string& path, int& error);

}  // namespace serial::device
