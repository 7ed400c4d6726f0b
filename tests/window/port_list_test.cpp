// The Windows port menu's found ports, put together from the port class and
// the device map: no repeat of the four fixed items, each port once, friendly
// names where the class has them, USB adapters first.
#include <gtest/gtest.h>

#include "window/port_list.h"

namespace {

using window::ClassPort;
using window::MappedPort;

struct Row {
    const char* what;
    std::vector<ClassPort> classPorts;
    std::vector<MappedPort> mapped;
    std::vector<std::pair<std::string, std::string>> menu;  // name, text
};

TEST(MenuPorts, Table) {
    const Row rows[] = {
        {"the fixed items are not repeated, whatever their letter case",
         {{"COM1", "Communications Port (COM1)", "ACPI"}},
         {{"COM1", "Serial0"}, {"com2", "Serial1"}, {"COM3", "Serial2"}, {"COM4", "Serial3"}},
         {}},
        {"device map alone: driver names, in the order of the numbers",
         {},
         {{"COM10", "VCP0"}, {"COM9", "USBSER000"}, {"COM7", ""}},
         {{"COM7", "COM7"}, {"COM9", "COM9 (USBSER000)"}, {"COM10", "COM10 (VCP0)"}}},
        {"the class's friendly name wins over the driver; each port once",
         {{"COM5", "USB Serial Port (COM5)", "FTDIBUS"}},
         {{"COM5", "VCP0"}},
         {{"COM5", "USB Serial Port (COM5)"}}},
        {"USB adapters first, then the rest by number",
         {{"COM12", "USB-SERIAL CH340 (COM12)", "USB"}, {"COM6", "Communications Port (COM6)", "ACPI"}},
         {{"COM6", "Serial0"}, {"COM5", "Serial4"}, {"COM12", "CH341SER"}},
         {{"COM12", "USB-SERIAL CH340 (COM12)"}, {"COM5", "COM5 (Serial4)"}, {"COM6", "Communications Port (COM6)"}}},
        {"a friendly name without the port gets it; one listed twice once",
         {{"COM8", "Bluetooth link", "BTHENUM"}, {"com8", "Bluetooth link", "BTHENUM"}, {"", "nameless", "USB"}},
         {},
         {{"COM8", "Bluetooth link (COM8)"}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::vector<window::FoundPort> ports = window::MenuPorts(row.classPorts, row.mapped);
        std::vector<std::pair<std::string, std::string>> menu;
        for (const window::FoundPort& port : ports) menu.emplace_back(port.name, port.text);
        EXPECT_EQ(menu, row.menu);
    }
}

}  // namespace
