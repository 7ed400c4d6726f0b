// What the adapter behind a port is, on POSIX: the kernel's device attributes.
#include <filesystem>
#include <fstream>

#include "core/text/format.h"
#include "localization/gettext.h"
#include "serial/device/adapter_info.h"
#include "serial/device/device.h"

namespace serial::device {

namespace {
constexpr const char* kSimulated = "simulated pump line";
constexpr const char* kPty = "pseudo-terminal";
constexpr const char* kSerialPort = "serial port";
constexpr const char* kWithDriver = "serial port, driver %s";
constexpr const char* kFtdiTimer =
    "enable low latency on this FTDI adapter: echo 1 | sudo tee %s (now %d ms), then check again";
constexpr const char* kFtdiFlag =
    "enable low latency on this FTDI adapter: sudo setserial %s low_latency, then check again";
constexpr const char* kOtherTimer = "lower the adapter's latency timer: echo 1 | sudo tee %s, then check again";
constexpr const char* kNoTimer =
    "use a built-in serial port or a USB adapter with low latency (for an FTDI adapter: enable low latency)";

std::string Tr(const char* text) { return localization::TranslateUtf8(text); }
}  // namespace

AdapterInfo DescribeAdapter(const std::string& port) {
    namespace fs = std::filesystem;
    AdapterInfo info;
    if (IsSimulatedPortName(port)) {
        info.kind = Tr(kSimulated);
        info.computersOwn = true;
        return info;
    }
    std::error_code ec;
    const fs::path device = fs::canonical(DevicePathForPort(port), ec);
    if (ec) {
        info.kind = Tr(kSerialPort);
        return info;
    }
    if (device.parent_path() == "/dev/pts") {
        info.kind = Tr(kPty);
        info.computersOwn = true;
        return info;
    }
    const fs::path sys = fs::path("/sys/class/tty") / device.filename() / "device";
    info.driver = fs::read_symlink(sys / "driver", ec).filename().string();
    info.kind = info.driver.empty() ? Tr(kSerialPort) : core::FormatText(Tr(kWithDriver), {info.driver});
    std::ifstream timer(sys / "latency_timer");
    if (timer >> info.latencyTimerMs) info.latencyTimerPath = (sys / "latency_timer").string();
    else info.latencyTimerMs = -1;
    return info;
}

std::string SlowAdapterRemedy(const std::string& port, const AdapterInfo& adapter) {
    if (adapter.driver == "ftdi_sio") {
        if (!adapter.latencyTimerPath.empty())
            return core::FormatText(Tr(kFtdiTimer), {adapter.latencyTimerPath, adapter.latencyTimerMs});
        return core::FormatText(Tr(kFtdiFlag), {port});
    }
    if (!adapter.latencyTimerPath.empty()) return core::FormatText(Tr(kOtherTimer), {adapter.latencyTimerPath});
    return Tr(kNoTimer);
}

std::vector<std::string> AdapterInfoTexts() {
    return {kSimulated, kPty, kSerialPort, kWithDriver, kFtdiTimer, kFtdiFlag, kOtherTimer, kNoTimer};
}

}  // namespace serial::device
