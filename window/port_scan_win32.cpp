// Windows: the COM ports of the system's port class (SetupAPI: friendly name,
// bus, the PortName of the device's key) merged with the registry's device
// map (one value a port: the driver's device, the port name).
#include <windows.h>

#include <initguid.h>

#include <devguid.h>
#include <setupapi.h>

#include "core/text/win32_text.h"
#include "window/port_list.h"
#include "window/port_scan.h"

namespace window {

namespace {
// GUID_DEVINTERFACE_COMPORT; its header wants the driver kit's types.
constexpr GUID kComPortInterface{0x86e0d1e0, 0x8089, 0x11d0, {0x9c, 0xe4, 0x08, 0x00, 0x3e, 0x30, 0x1f, 0x73}};

// "\Device\VCP0" -> "VCP0": the driver's own short name tells a USB adapter
// (VCP, USBSER, ...) from a port on the board (Serial).
std::string DriverName(const std::wstring& device) {
    const std::size_t slash = device.find_last_of(L'\\');
    return core::NarrowText(slash == std::wstring::npos ? device : device.substr(slash + 1));
}

std::vector<MappedPort> MappedPorts(const std::string& devFolder) {
    std::vector<MappedPort> ports;
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
        ports.push_back({core::NarrowText(port), DriverName(device)});
    }
    RegCloseKey(key);
    return ports;
}

std::wstring Property(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    wchar_t text[256] = L"";
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type, reinterpret_cast<BYTE*>(text),
                                           sizeof text - sizeof(wchar_t), nullptr) ||
        type != REG_SZ)
        return {};
    return text;
}

std::wstring PortName(HDEVINFO set, SP_DEVINFO_DATA& device) {
    HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
    if (key == INVALID_HANDLE_VALUE) return {};
    wchar_t name[64] = L"";
    DWORD bytes = sizeof name - sizeof(wchar_t), type = 0;
    const LONG rc = RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &bytes);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_SZ) return {};
    name[bytes / sizeof(wchar_t)] = L'\0';
    return name;
}

// The present devices of one class (or of one interface class, `flags`).
void AddClassPorts(const GUID& guid, DWORD flags, std::vector<ClassPort>& ports) {
    HDEVINFO set = SetupDiGetClassDevsW(&guid, nullptr, nullptr, DIGCF_PRESENT | flags);
    if (set == INVALID_HANDLE_VALUE) return;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        const std::wstring name = PortName(set, device);
        // The port class also holds the printer ports (LPT1, ...).
        if (name.size() < 4 || _wcsnicmp(name.c_str(), L"COM", 3) != 0) continue;
        ports.push_back({core::NarrowText(name), core::NarrowText(Property(set, device, SPDRP_FRIENDLYNAME)),
                         core::NarrowText(Property(set, device, SPDRP_ENUMERATOR_NAME))});
    }
    SetupDiDestroyDeviceInfoList(set);
}

std::vector<ClassPort> ClassPorts() {
    std::vector<ClassPort> ports;
    AddClassPorts(GUID_DEVCLASS_PORTS, 0, ports);
    // Adapters whose driver puts them in another class (modems) still offer the COM port interface.
    AddClassPorts(kComPortInterface, DIGCF_DEVICEINTERFACE, ports);
    return ports;
}
}  // namespace

// The port class describes the computer's own ports; a test's device map
// folder is read alone.
std::vector<FoundPort> ScanPorts(const std::string& devFolder) {
    const bool system = devFolder == DefaultDevFolder();
    return MenuPorts(system ? ClassPorts() : std::vector<ClassPort>{}, MappedPorts(devFolder));
}

std::string DefaultDevFolder() { return "HARDWARE\\DEVICEMAP\\SERIALCOMM"; }

}  // namespace window
