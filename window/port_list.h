// The port menu's found ports on Windows, put together from the system's two
// lists: the port class's devices (with their friendly names and the bus that
// announced them) and the registry's device map (port and driver only). Free
// of the system, so that the rules can be tried with rows of a table.
#pragma once

#include <string>
#include <vector>

#include "window/port_scan.h"

namespace window {

// A device of the system's port class.
struct ClassPort {
    std::string name;          // "COM5", the PortName of the device's key
    std::string friendlyName;  // "USB Serial Port (COM5)", may be empty
    std::string enumerator;    // the bus that announced it: "USB", "FTDIBUS", "ACPI", ...
};

// A value of the device map.
struct MappedPort {
    std::string name;    // "COM5"
    std::string driver;  // the driver's device, short: "VCP0", "Serial0"
};

// Each port once (names compared without regard to letter case); USB
// adapters first, then the others, each group in the order of the port
// numbers. A port the class lists shows its friendly name, one only the
// device map has its driver. The menu's four fixed items (Com1..Com4) come
// last, and only with a friendly name from the class (where USB adapters
// often land, known to their users as "USB Serial Port (COM3)").
std::vector<FoundPort> MenuPorts(const std::vector<ClassPort>& classPorts, const std::vector<MappedPort>& mapped);

}  // namespace window
