// What the adapter behind a port is, on POSIX: the kernel's device attributes.
#include <filesystem>
#include <fstream>

#include "cli/port_open.h"
#include "serial/device/device.h"

namespace cli {

AdapterInfo DescribeAdapter(const std::string& port) {
    namespace fs = std::filesystem;
    AdapterInfo info;
    if (serial::device::IsSimulatedPortName(port)) {
        info.kind = "simulated pump line";
        return info;
    }
    std::error_code ec;
    const fs::path device = fs::canonical(serial::device::DevicePathForPort(port), ec);
    if (ec) {
        info.kind = "serial port";
        return info;
    }
    if (device.parent_path() == "/dev/pts") {
        info.kind = "pseudo-terminal";
        return info;
    }
    const fs::path sys = fs::path("/sys/class/tty") / device.filename() / "device";
    info.driver = fs::read_symlink(sys / "driver", ec).filename().string();
    info.kind = info.driver.empty() ? "serial port" : "serial port, driver " + info.driver;
    std::ifstream timer(sys / "latency_timer");
    if (timer >> info.latencyTimerMs) info.latencyTimerPath = (sys / "latency_timer").string();
    else info.latencyTimerMs = -1;
    return info;
}

}  // namespace cli
