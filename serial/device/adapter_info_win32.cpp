// What the adapter behind a port is, on Windows: the device parameters of
// the device whose PortName is the port, under the bus enumerators that
// serial ports come from (FTDI's own bus first, then USB, then the board's
// ACPI ports), with an FTDI adapter's LatencyTimer.
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Before the system's header, which defines some of the device layer's names as macros.
#include "serial/device/adapter_info.h"
#include "serial/device/device.h"

#include <windows.h>

#include "core/text/format.h"
#include "core/text/win32_text.h"
#include "localization/gettext.h"
#include "serial/device/win32_registry_calls.h"

namespace serial::device {

namespace {
constexpr const char* kSimulated = "simulated pump line";
constexpr const char* kSerialPort = "serial port";
constexpr const char* kFtdi = "FTDI USB adapter";
constexpr const char* kUsb = "USB adapter (%s)";
constexpr const char* kBuiltIn = "built-in serial port";
constexpr const char* kFtdiTimer =
    "set the adapter's latency timer to 1 ms (now %d ms): in the Device Manager open the port's properties, "
    "Port Settings, Advanced, Latency Timer 1 ms, then check again";
constexpr const char* kFtdiNoTimer =
    "in the Device Manager open the port's properties, Port Settings, Advanced, and set Latency Timer to 1 ms, "
    "then check again";
constexpr const char* kNoTimer =
    "use a built-in serial port or a USB adapter with low latency (for an FTDI adapter: Latency Timer 1 ms in the "
    "Device Manager)";

constexpr wchar_t kEnumRoot[] = L"SYSTEM\\CurrentControlSet\\Enum\\";
constexpr const wchar_t* kEnumerators[] = {L"FTDIBUS", L"USB", L"ACPI"};

// The chips whose makers' USB vendor numbers say more than the number.
constexpr std::pair<const wchar_t*, const char*> kChips[] = {
    {L"VID_0403", "FTDI"}, {L"VID_1A86", "CH340"}, {L"VID_067B", "Prolific"}, {L"VID_10C4", "CP210x"}};

std::string Tr(const char* text) { return localization::TranslateUtf8(text); }

class Key {
public:
    Key(HKEY parent, const std::wstring& path) {
        if (Registry().openKey(parent, path.c_str(), 0, KEY_READ, &key_) != ERROR_SUCCESS) key_ = nullptr;
    }
    ~Key() {
        if (key_) Registry().closeKey(key_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    explicit operator bool() const { return key_ != nullptr; }

    std::vector<std::wstring> SubKeys() const {
        std::vector<std::wstring> names;
        for (DWORD index = 0;; ++index) {
            wchar_t name[256];
            DWORD chars = 256;
            const LONG rc = Registry().enumKey(key_, index, name, &chars, nullptr, nullptr, nullptr, nullptr);
            if (rc == ERROR_MORE_DATA) continue;  // no device's name is that long
            if (rc != ERROR_SUCCESS) break;
            names.emplace_back(name, chars);
        }
        return names;
    }
    std::wstring Text(const wchar_t* name) const {
        wchar_t text[64] = L"";
        DWORD bytes = sizeof text - sizeof(wchar_t), type = 0;
        if (Registry().queryValue(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &bytes) != ERROR_SUCCESS ||
            type != REG_SZ)
            return {};
        text[bytes / sizeof(wchar_t)] = L'\0';
        return text;
    }
    std::optional<DWORD> Number(const wchar_t* name) const {
        DWORD value = 0, bytes = sizeof value, type = 0;
        if (Registry().queryValue(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &bytes) !=
                ERROR_SUCCESS ||
            type != REG_DWORD || bytes != sizeof value)
            return std::nullopt;
        return value;
    }

private:
    HKEY key_ = nullptr;
};

// "\\.\COM12" and "com12" name the device whose PortName is "COM12".
std::wstring BarePortName(const std::string& port) {
    std::wstring name = core::WideText(port);
    if (name.rfind(L"\\\\.\\", 0) == 0) name.erase(0, 4);
    return name;
}

AdapterInfo Described(const std::wstring& enumerator, const std::wstring& device, const std::wstring& key,
                      const Key& parameters) {
    AdapterInfo info;
    info.driver = core::NarrowText(enumerator);
    if (const std::optional<DWORD> timer = parameters.Number(L"LatencyTimer")) {
        info.latencyTimerMs = static_cast<int>(*timer);
        info.latencyTimerPath = "HKEY_LOCAL_MACHINE\\" + core::NarrowText(key);
    }
    if (enumerator == L"FTDIBUS") {
        info.kind = Tr(kFtdi);
    } else if (enumerator == L"USB") {
        // "VID_1A86&PID_7523": the chip where its maker says it, else the numbers.
        std::string chip = core::NarrowText(device);
        for (const auto& [vendor, name] : kChips)
            if (_wcsnicmp(device.c_str(), vendor, wcslen(vendor)) == 0) chip = name;
        info.kind = core::FormatText(Tr(kUsb), {chip});
    } else {
        info.kind = Tr(kBuiltIn);
    }
    return info;
}
}  // namespace

AdapterInfo DescribeAdapter(const std::string& port) {
    if (IsSimulatedPortName(port)) return {Tr(kSimulated), "", -1, "", true};
    const std::wstring name = BarePortName(port);
    for (const wchar_t* enumerator : kEnumerators) {
        const std::wstring bus = kEnumRoot + std::wstring(enumerator);
        const Key devices(HKEY_LOCAL_MACHINE, bus);
        if (!devices) continue;
        for (const std::wstring& device : devices.SubKeys()) {
            const Key instances(HKEY_LOCAL_MACHINE, bus + L"\\" + device);
            if (!instances) continue;
            for (const std::wstring& instance : instances.SubKeys()) {
                const std::wstring path = bus + L"\\" + device + L"\\" + instance + L"\\Device Parameters";
                const Key parameters(HKEY_LOCAL_MACHINE, path);
                if (parameters && _wcsicmp(parameters.Text(L"PortName").c_str(), name.c_str()) == 0)
                    return Described(enumerator, device, path, parameters);
            }
        }
    }
    return {Tr(kSerialPort), "", -1, "", false};
}

std::string SlowAdapterRemedy(const std::string&, const AdapterInfo& adapter) {
    if (adapter.latencyTimerMs >= 0) return core::FormatText(Tr(kFtdiTimer), {adapter.latencyTimerMs});
    if (adapter.driver == "FTDIBUS") return Tr(kFtdiNoTimer);
    return Tr(kNoTimer);
}

std::vector<std::string> AdapterInfoTexts() {
    return {kSimulated, kSerialPort, kFtdi, kUsb, kBuiltIn, kFtdiTimer, kFtdiNoTimer, kNoTimer};
}

}  // namespace serial::device
