// The Windows backend of the device layer: the kernel32 communications
// functions on a COM device opened for overlapped I/O.
#pragma once

#include <memory>
#include <string>

#include "serial/device/device.h"

namespace serial::device {

// Opens `path` (\\.\COMn) exclusively for overlapped I/O; on failure null
// with GetLastError() in `error`. While the device is open the system timer
// runs at 1 ms.
std::shared_ptr<SerialDevice> OpenWin32Device(const std::string& path, int& error);

// Asks for a 1 ms system timer for the lifetime of the object, so that the
// protocol's 1 ms waits are not stretched to the default 15.6 ms step.
class TimerResolution {
public:
    TimerResolution();
    ~TimerResolution();
    TimerResolution(const TimerResolution&) = delete;
    TimerResolution& operator=(const TimerResolution&) = delete;

private:
    bool granted_;
};

}  // namespace serial::device
