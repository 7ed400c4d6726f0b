// Why an opening failed, and what the adapter is, on POSIX: errno and the
// kernel's device attributes.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "cli/port_open.h"
#include "serial/device/device.h"

namespace cli {

PortProblem DescribeOpenFailure(const std::string& port, int code) {
    const std::string path = serial::device::DevicePathForPort(port);
    const std::string what = "cannot open " + port + (path != port ? " (" + path + ")" : "") + ": ";
    switch (code) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return {kExitNoDevice, what + "no such device",
                    "check that the adapter is plugged in and the name is right (ls /dev/ttyUSB* /dev/ttyS*)"};
        case EACCES:
        case EPERM:
            return {kExitNoPermission, what + "permission denied",
                    "add your user to the 'dialout' group (sudo usermod -aG dialout $USER), then log in again"};
        case EBUSY:
        case EWOULDBLOCK:
            return {kExitBusy, what + "the port is busy: another program holds it",
                    "close the diagnostic program or any terminal program using this port, then try again"};
        case ENOTTY:
            return {kExitPortError, what + "not a serial port", "give the serial port the adapter is on"};
        default:
            return {kExitPortError, what + std::strerror(code), "check the adapter and its driver"};
    }
}

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
