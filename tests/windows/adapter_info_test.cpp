// What the system tells of a COM port's adapter, from the device parameters
// under the bus enumerators, played from recorded rows through the registry
// calls table: an FTDI adapter at the driver's 16 ms latency timer and one
// set to 1 ms, a CH340 (USB\VID_1A86...) whose driver keeps no timer, and a
// port on the board. The check's report names the Device Manager's setting
// where the timer is too long for the reply window.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "adapter/adapter_check.h"
#include "serial/device/adapter_info.h"
#include "serial/device/win32_registry_calls.h"

namespace {

using serial::device::AdapterInfo;

struct Value {
    std::wstring key;  // below HKEY_LOCAL_MACHINE
    std::wstring name;
    DWORD type;
    std::wstring text;
    DWORD number;
};

const std::wstring kEnum = L"SYSTEM\\CurrentControlSet\\Enum\\";
const std::vector<Value> kRecorded = {
    {kEnum + L"FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000\\Device Parameters", L"PortName", REG_SZ, L"COM5", 0},
    {kEnum + L"FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000\\Device Parameters", L"LatencyTimer", REG_DWORD, L"", 16},
    {kEnum + L"FTDIBUS\\VID_0403+PID_6015+DN04ABCD\\0000\\Device Parameters", L"PortName", REG_SZ, L"COM6", 0},
    {kEnum + L"FTDIBUS\\VID_0403+PID_6015+DN04ABCD\\0000\\Device Parameters", L"LatencyTimer", REG_DWORD, L"", 1},
    {kEnum + L"USB\\VID_0403&PID_6001\\A50285BI\\Device Parameters", L"SymbolicName", REG_SZ, L"\\??\\USB#VID_0403", 0},
    {kEnum + L"USB\\VID_1A86&PID_7523\\5&2A1B3C4D&0&2\\Device Parameters", L"PortName", REG_SZ, L"COM7", 0},
    {kEnum + L"ACPI\\PNP0501\\1\\Device Parameters", L"PortName", REG_SZ, L"COM1", 0},
};

std::vector<std::wstring> openKeys;  // a handle is its index here, plus one

std::wstring Lower(std::wstring s) {
    for (wchar_t& c : s) c = static_cast<wchar_t>(towlower(c));
    return s;
}
const std::wstring& PathOf(HKEY key) { return openKeys.at(reinterpret_cast<UINT_PTR>(key) - 1); }

LONG WINAPI PlayedOpen(HKEY parent, LPCWSTR sub, DWORD, REGSAM, PHKEY key) {
    const std::wstring path = Lower(parent == HKEY_LOCAL_MACHINE ? sub : PathOf(parent) + L"\\" + sub);
    for (const Value& v : kRecorded) {
        const std::wstring held = Lower(v.key);
        if (held == path || held.rfind(path + L"\\", 0) == 0) {
            openKeys.push_back(path);
            *key = reinterpret_cast<HKEY>(static_cast<UINT_PTR>(openKeys.size()));
            return ERROR_SUCCESS;
        }
    }
    return ERROR_FILE_NOT_FOUND;
}

LONG WINAPI PlayedEnum(HKEY key, DWORD index, LPWSTR name, LPDWORD chars, LPDWORD, LPWSTR, LPDWORD, PFILETIME) {
    const std::wstring prefix = PathOf(key) + L"\\";
    std::vector<std::wstring> names;
    for (const Value& v : kRecorded) {
        const std::wstring held = Lower(v.key);
        if (held.rfind(prefix, 0) != 0) continue;
        const std::wstring rest = v.key.substr(prefix.size());
        const std::wstring next = rest.substr(0, rest.find(L'\\'));
        if (names.empty() || names.back() != next) names.push_back(next);
    }
    if (index >= names.size()) return ERROR_NO_MORE_ITEMS;
    if (names[index].size() + 1 > *chars) return ERROR_MORE_DATA;
    wcscpy(name, names[index].c_str());
    *chars = static_cast<DWORD>(names[index].size());
    return ERROR_SUCCESS;
}

LONG WINAPI PlayedQuery(HKEY key, LPCWSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD bytes) {
    for (const Value& v : kRecorded) {
        if (Lower(v.key) != PathOf(key) || Lower(v.name) != Lower(name)) continue;
        *type = v.type;
        const void* from = v.type == REG_SZ ? static_cast<const void*>(v.text.c_str()) : &v.number;
        const DWORD size = v.type == REG_SZ ? static_cast<DWORD>((v.text.size() + 1) * sizeof(wchar_t)) : sizeof(DWORD);
        if (size > *bytes) return ERROR_MORE_DATA;
        memcpy(data, from, size);
        *bytes = size;
        return ERROR_SUCCESS;
    }
    return ERROR_FILE_NOT_FOUND;
}

LONG WINAPI PlayedClose(HKEY) { return ERROR_SUCCESS; }

struct PlayedRegistry {
    PlayedRegistry() {
        auto& calls = serial::device::Registry();
        calls = {PlayedOpen, PlayedEnum, PlayedQuery, PlayedClose};
    }
    ~PlayedRegistry() { serial::device::Registry() = {}; }
};

// Every echo at `ms`: what the check measures of an adapter that holds each byte that long.
adapter::EchoMeasurement EchoesAt(double ms) {
    adapter::EchoMeasurement m;
    m.sent = m.echoed = adapter::kCheckBytes;
    m.latenciesMs.assign(adapter::kCheckBytes, ms);
    return m;
}

TEST(AdapterInfo, FromTheDeviceParametersOfThePortsDevice) {
    const PlayedRegistry played;
    const struct {
        const char* port;
        const char* kind;
        const char* driver;
        int timerMs;
        double echoMs;     // the echo such an adapter gives
        const char* says;  // in the check's report
        const char* saysNot;
    } rows[] = {
        {"COM5", "FTDI USB adapter", "FTDIBUS", 16, 16.0,
         "What to do: set the adapter's latency timer to 1 ms (now 16 ms): in the Device Manager open the port's "
         "properties, Port Settings, Advanced, Latency Timer 1 ms, then check again.",
         "fits"},
        {"\\\\.\\com5", "FTDI USB adapter", "FTDIBUS", 16, 16.0, "(now 16 ms)", "fits"},
        // A timer too long while the echoes still came in time: said as a note with its remedy.
        {"COM5", "FTDI USB adapter", "FTDIBUS", 16, 2.0, "latency timer is 16 ms, longer than the echo may take",
         "too slow"},
        {"COM6", "FTDI USB adapter", "FTDIBUS", 1, 1.5, "fits the engine's 10 ms reply window", "Latency Timer"},
        {"COM7", "USB adapter (CH340)", "USB", -1, 16.0,
         "What to do: use a built-in serial port or a USB adapter with low latency", "now"},
        {"COM1", "built-in serial port", "ACPI", -1, 1.5, "fits", "Latency Timer"},
        {"COM9", "serial port", "", -1, 1.5, "Port COM9 (serial port)", "Latency Timer"},
        // The simulated line's lateness is the computer's, not an adapter's.
        {"SIM", "simulated pump line", "", -1, 16.0, "What to do: this line is the computer's own", "Device Manager"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.port);
        const AdapterInfo info = serial::device::DescribeAdapter(row.port);
        EXPECT_EQ(info.kind, row.kind);
        EXPECT_EQ(info.driver, row.driver);
        EXPECT_EQ(info.latencyTimerMs, row.timerMs);
        EXPECT_EQ(serial::device::LatencyTimerTooLong(info), row.timerMs > 8);
        const std::string report = adapter::JudgeAdapter(EchoesAt(row.echoMs), row.port, info).text;
        EXPECT_NE(report.find(row.says), std::string::npos) << report;
        EXPECT_EQ(report.find(row.saysNot), std::string::npos) << report;
    }
    EXPECT_TRUE(openKeys.size() > 0);
}

// The Linux catalog test sees the POSIX texts only.
TEST(AdapterInfo, EveryWindowsTextHasItsRussianTranslation) {
    std::ifstream po(PD_RU_PO);
    std::stringstream all;
    all << po.rdbuf();
    ASSERT_FALSE(all.str().empty()) << PD_RU_PO;
    for (const std::string& text : serial::device::AdapterInfoTexts())
        EXPECT_NE(all.str().find("msgid \"" + text + "\"\nmsgstr \""), std::string::npos) << text;
}

}  // namespace
