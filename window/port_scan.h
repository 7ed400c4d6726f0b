// The serial ports the computer has, as the port menu lists them below its
// four fixed items. One backend a platform (port_scan_posix.cpp, ...).
#pragma once

#include <string>
#include <vector>

namespace window {

struct FoundPort {
    std::string name;  // what port.ini gets and the port component opens
    std::string text;  // what the menu item shows
};

// The ports found under `devFolder` (the system's device folder; tests point
// it elsewhere), one for each port, in a stable order. A folder that cannot
// be read gives no ports, never an error.
std::vector<FoundPort> ScanPorts(const std::string& devFolder);

// The system's device folder.
std::string DefaultDevFolder();

}  // namespace window
