// The port's settings in the Windows registry (HKEY_CURRENT_USER), through
// the same storage operations as on the registry-like store on Linux.
#include <gtest/gtest.h>

#include "core/platform/exception.h"
#include "core/stores/registry_key_win32.h"
#include "serial/com_port.h"

using namespace serial;

namespace {
const std::string kKey = "Software\\pumpdiag-tests\\Port";
}

TEST(Win32Registry, PortSettingsRoundTripAndAMissingIntegerIsNamed) {
    TComPort saved;
    saved.SetPort("COM7");
    saved.SetBaudRate(brCustom);
    saved.SetCustomBaudRate(10400);
    saved.SetPersistedGroups({sgBasic});
    {
        core::TWin32RegistryKey key(kKey);
        saved.SaveSettingsToRegistry(key);
    }
    TComPort loaded;
    loaded.SetPersistedGroups({sgBasic});
    core::TWin32RegistryKey key(kKey);
    loaded.LoadSettingsFromRegistry(key);
    EXPECT_EQ(loaded.Port(), "COM7");
    EXPECT_EQ(loaded.BaudRate(), brCustom);
    EXPECT_EQ(loaded.CustomBaudRate(), 10400);

    loaded.SetPersistedGroups({sgTimeouts});
    try {
        loaded.LoadSettingsFromRegistry(key);
        FAIL() << "a missing integer was read";
    } catch (const core::ERegistryException& e) {
        EXPECT_STREQ(e.what(), "Failed to get data for 'Timeouts.ReadInterval'");
    }
}

TEST(Win32Registry, TextKeepsItsCharactersAndTypesAreChecked) {
    core::TWin32RegistryKey key(kKey);
    key.WriteString("Name", "Порт №1");
    EXPECT_EQ(key.ReadString("Name"), "Порт №1");
    EXPECT_EQ(key.ReadString("Missing"), "");
    key.WriteInteger("Number", -2);
    EXPECT_EQ(key.ReadInteger("Number"), -2);
    EXPECT_THROW(key.ReadString("Number"), core::ERegistryException);
    // Four bytes of text ("a" and its zero) are not an integer either.
    key.WriteString("Short", "a");
    try {
        key.ReadInteger("Short");
        FAIL() << "text was read as an integer";
    } catch (const core::ERegistryException& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for 'Short'");
    }
}
