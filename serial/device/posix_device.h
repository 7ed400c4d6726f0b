// The POSIX termios backend of the device layer.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "serial/device/device.h"

namespace serial::device {

struct PosixDeviceOptions {
    // Where the kernel shows its device attributes; a test puts a folder in its place.
    std::string sysfsRoot = "/sys";
    // Where a note of the adapter's latency settings outlives a killed run;
    // empty: $XDG_RUNTIME_DIR, else the system's temporary folder.
    std::string runtimeDir;
    // Issues a break request (TIOCSBRK, TIOCCBRK) on the descriptor, giving 0
    // or errno; empty: the ioctl itself. A pseudo-terminal takes breaks and
    // ignores them, so a test records them here.
    std::function<int(int fd, unsigned long request)> breakRequest;
};

// Opens a tty exclusively (TIOCEXCL and an advisory lock), non-blocking, in
// raw mode, and asks a USB adapter's driver for low latency. Closing puts
// back what the opening changed: the terminal settings, the latency, the
// exclusive flag and the lock.
std::shared_ptr<SerialDevice> OpenPosixDevice(const std::string& path, int& error,
                                              const PosixDeviceOptions& options = {});

}  // namespace serial::device
