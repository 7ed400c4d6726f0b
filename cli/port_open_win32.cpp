// What the adapter behind a port is, on Windows: only the port's name tells.
#include "cli/port_open.h"
#include "serial/device/device.h"

namespace cli {

AdapterInfo DescribeAdapter(const std::string& port) {
    AdapterInfo info;
    info.kind = serial::device::IsSimulatedPortName(port) ? "simulated pump line" : "serial port";
    return info;
}

}  // namespace cli
