// The POSIX termios backend of the device layer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "serial/device/device.h"

namespace serial::device {

// The termios flags a device-control record maps to, over raw mode (the
// kernel's flag values). A pseudo-terminal keeps only some of them (it always
// reads back eight data bits without parity), so this is what is asked of a device.
struct TermiosSettings {
    std::uint32_t inputFlags = 0;    // c_iflag bits set beyond raw mode
    std::uint32_t controlFlags = 0;  // c_cflag, speed codes included
    std::uint32_t speed = 0;         // c_ispeed / c_ospeed
    std::uint8_t startChar = 0;
    std::uint8_t stopChar = 0;
};
// Returns 0, or EINVAL for a record no device can take.
int MapToTermios(const DeviceControlBlock& dcb, TermiosSettings& out);

// Opens a tty exclusively (TIOCEXCL and an advisory lock), non-blocking, in raw mode.
std::shared_ptr<SerialDevice> OpenPosixDevice(const std::string& path, int& error);

}  // namespace serial::device
