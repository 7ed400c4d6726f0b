// Why an opening failed, and what the adapter is, on Windows: GetLastError()
// codes, and the port name.
#include "cli/port_open.h"
#include "core/win32_text.h"
#include "serial/device/device.h"

#include <windows.h>

namespace cli {

namespace {

std::string SystemMessage(int code) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = n ? core::NarrowText(std::wstring_view(text, n)) : "system error " + std::to_string(code);
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return message;
}

}  // namespace

PortProblem DescribeOpenFailure(const std::string& port, int code) {
    const std::string what = "cannot open " + port + " (" + serial::device::DevicePathForPort(port) + "): ";
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            return {kExitNoDevice, what + "no such device",
                    "check that the adapter is plugged in and the name is right (its COM number is in the Device "
                    "Manager under \"Ports (COM & LPT)\")"};
        // Windows refuses a COM port that another program holds with "access denied".
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return {kExitBusy, what + "the port is busy: another program holds it",
                    "close the diagnostic program or any terminal program using this port, then try again"};
        default:
            return {kExitPortError, what + SystemMessage(code), "check the adapter and its driver"};
    }
}

AdapterInfo DescribeAdapter(const std::string& port) {
    AdapterInfo info;
    info.kind = serial::device::IsSimulatedPortName(port) ? "simulated pump line" : "serial port";
    return info;
}

}  // namespace cli
