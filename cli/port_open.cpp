#include "cli/port_open.h"

#include <filesystem>
#include <fstream>
#include <utility>

#include "serial/com_error.h"
#include "serial/device/device.h"
#include "serial/open_failure.h"

namespace cli {

PortProblem DescribeOpenFailure(const std::string& port, int code) {
    static constexpr std::pair<serial::OpenFailureKind, ExitCode> kCodes[] = {
        {serial::OpenFailureKind::Missing, kExitNoDevice},
        {serial::OpenFailureKind::NoPermission, kExitNoPermission},
        {serial::OpenFailureKind::Busy, kExitBusy},
    };
    const serial::OpenFailure failure = serial::DescribeOpenFailure(port, code);
    ExitCode exit = kExitPortError;
    for (const auto& [kind, each] : kCodes)
        if (kind == failure.kind) exit = each;
    return {exit, "cannot open " + failure.device + ": " + failure.reason, failure.commandHint};
}

void OpenLikeTheProgram(window::PortComponent& com, const std::string& port) {
    try {
        com.SetPort(port);
        com.OpenPort();
        com.PurgeBuffers(true, true);
    } catch (const serial::EComPort& e) {
        if (e.ErrorNumber() == serial::CError_OpenFailed && e.SystemErrorCode() > 0)
            throw PortOpenError(DescribeOpenFailure(port, e.SystemErrorCode()));
        throw PortOpenError({kExitPortError, "cannot set up " + port + ": " + e.Message(),
                             "check the adapter and its driver"});
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
