// The POSIX termios backend of the device layer.
#pragma once

#include <memory>
#include <string>

#include "serial/device/device.h"

namespace serial::device {

// Opens a tty exclusively (TIOCEXCL and an advisory lock), non-blocking, in raw mode.
std::shared_ptr<SerialDevice> OpenPosixDevice(const std::string& path, int& error);

}  // namespace serial::device
