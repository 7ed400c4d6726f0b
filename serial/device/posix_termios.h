// The termios mapping of the device-control record: what a record asks of a
// tty, and raw mode.
#pragma once

#include <cstdint>

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

// Puts the tty in raw mode with the receiver on and errors marked in the input
// (PARMRK), as it is before the first record arrives. 0 or errno.
int SetRawMode(int tty);
// Applies the record's line settings and handshake flags to the tty and sets
// DTR and RTS as their controls say. 0 or errno.
int ApplyDeviceControl(int tty, const DeviceControlBlock& dcb);

}  // namespace serial::device
