// The serial ports the computer has, as the port menu lists them below its
// four fixed items. One backend a platform (port_scan_posix.cpp, ...).
#pragma once

#include <string>
#include <vector>

namespace window {

struct FoundPort {
    std::string name;    // what port.ini gets and the port component opens
    std::string text;    // what the menu item shows
    int fixedItem = -1;  // 0..3 for one of the four fixed items (Com1..Com4): its text goes beside the item's name
};

// The ports found under `devFolder` (the system's device folder; tests point
// it elsewhere), one for each port, in a stable order; a fixed item's port
// only where the system has a name for it. A folder that cannot be read
// gives no ports, never an error.
std::vector<FoundPort> ScanPorts(const std::string& devFolder);

// The system's device folder.
std::string DefaultDevFolder();

}  // namespace window
