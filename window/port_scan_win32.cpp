// Windows: the COM ports the system's serial drivers have announced, from the
// registry's device map (one value a port: the driver's device, the port
// name), in the order of their numbers.
#include <windows.h>

#include <algorithm>
#include <cstdlib>

#include "core/text/win32_text.h"
#include "window/port_scan.h"

namespace window {

namespace {
// "COM10" after "COM9"; names of another form after the numbered ones, by text.
bool ComesBefore(const FoundPort& a, const FoundPort& b) {
    auto number = [](const std::string& name) {
        return name.size() > 3 && _strnicmp(name.c_str(), "COM", 3) == 0 ? std::atoi(name.c_str() + 3) : 1 << 30;
    };
    const int na = number(a.name), nb = number(b.name);
    return na != nb ? na < nb : a.name < b.name;
}

// "\Device\VCP0" -> "VCP0": the driver's own short name tells a USB adapter
// (VCP, USBSER, ...) from a port on the board (Serial).
std::string DriverName(const std::wstring& device) {
    const std::size_t slash = device.find_last_of(L'\\');
    return core::NarrowText(slash == std::wstring::npos ? device : device.substr(slash + 1));
}
}  // namespace

std::vector<FoundPort> ScanPorts(const std::string& devFolder) {
    std::vector<FoundPort> ports;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, core::WideText(devFolder).c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return ports;
    for (DWORD index = 0;; ++index) {
        wchar_t device[256];
        wchar_t port[64];
        DWORD deviceChars = 256, portBytes = sizeof port - sizeof(wchar_t), type = 0;
        const LONG rc = RegEnumValueW(key, index, device, &deviceChars, nullptr, &type, reinterpret_cast<BYTE*>(port),
                                      &portBytes);
        if (rc == ERROR_MORE_DATA) continue;
        if (rc != ERROR_SUCCESS) break;
        if (type != REG_SZ) continue;
        port[portBytes / sizeof(wchar_t)] = L'\0';
        const std::string name = core::NarrowText(port);
        if (name.empty()) continue;
        ports.push_back({name, name + " (" + DriverName(device) + ")"});
    }
    RegCloseKey(key);
    std::sort(ports.begin(), ports.end(), ComesBefore);
    return ports;
}

std::string DefaultDevFolder() { return "HARDWARE\\DEVICEMAP\\SERIALCOMM"; }

}  // namespace window
