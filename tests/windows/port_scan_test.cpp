// The port menu's scan on Windows: the COM ports of a device map key, in the
// order of their numbers, each with its driver's short name, the menu's four
// fixed items left out.
#include <windows.h>

#include <gtest/gtest.h>

#include "window/port_scan.h"

namespace {

constexpr wchar_t kKey[] = L"Software\\PumpdiagTest\\SERIALCOMM";

struct DeviceMap : testing::Test {
    void SetUp() override {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\PumpdiagTest");
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        RegCloseKey(key);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\PumpdiagTest");
    }
    void Add(const wchar_t* device, const wchar_t* port) {
        RegSetValueExW(key, device, 0, REG_SZ, reinterpret_cast<const BYTE*>(port),
                       static_cast<DWORD>((wcslen(port) + 1) * sizeof(wchar_t)));
    }
    HKEY key = nullptr;
};

TEST_F(DeviceMap, OtherPortsComeInTheOrderOfTheirNumbersWithTheirDriver) {
    Add(L"\\Device\\VCP0", L"COM10");
    Add(L"\\Device\\Serial0", L"COM1");
    Add(L"\\Device\\Serial1", L"COM2");
    Add(L"\\Device\\USBSER000", L"COM9");
    const std::vector<window::FoundPort> ports = window::ScanPorts("Software\\PumpdiagTest\\SERIALCOMM");
    // COM1 and COM2 are the menu's own items already.
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0].name, "COM9");
    EXPECT_EQ(ports[1].name, "COM10");
    EXPECT_EQ(ports[1].text, "COM10 (VCP0)");
}

// Wine's device map lists COM1 for the first serial device of the host; its
// port class may list nothing, and the device map alone then fills the menu.
// A port of the four fixed items comes only as the text beside its item.
TEST(SystemPorts, RepeatNoneOfTheMenusFourItems) {
    const char* const fixed[] = {"COM1", "COM2", "COM3", "COM4"};
    for (const window::FoundPort& port : window::ScanPorts(window::DefaultDevFolder())) {
        EXPECT_FALSE(port.name.empty());
        if (port.fixedItem >= 0) {
            EXPECT_EQ(_stricmp(port.name.c_str(), fixed[port.fixedItem]), 0) << port.name;
            continue;
        }
        for (const char* item : fixed) EXPECT_NE(_stricmp(port.name.c_str(), item), 0);
    }
}

TEST(DeviceMapMissing, GivesNoPorts) { EXPECT_TRUE(window::ScanPorts("Software\\PumpdiagTest\\None").empty()); }

}  // namespace
