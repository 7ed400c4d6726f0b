// The Windows port menu's found ports, put together from the port class and
// the device map: each port once, friendly names where the class has them,
// USB adapters first; the four fixed items only with the class's name, last.
#include <gtest/gtest.h>

#include <tuple>

#include "window/port_list.h"

namespace {

using window::ClassPort;
using window::MappedPort;

struct Row {
    const char* what;
    std::vector<ClassPort> classPorts;
    std::vector<MappedPort> mapped;
    std::vector<std::tuple<std::string, std::string, int>> menu;  // name, text, fixed item
};

TEST(MenuPorts, Table) {
    const Row rows[] = {
        {"the fixed items are not repeated, whatever their letter case; the class's name goes beside one",
         {{"COM1", "Communications Port (COM1)", "ACPI"}},
         {{"COM1", "Serial0"}, {"com2", "Serial1"}, {"COM3", "Serial2"}, {"COM4", "Serial3"}},
         {{"COM1", "Communications Port (COM1)", 0}}},
        {"an FTDI, a CH340 and a Prolific adapter and a built-in port, as SetupAPI gives them",
         {{"COM3", "USB Serial Port (COM3)", "FTDIBUS"},
          {"COM4", "USB-SERIAL CH340 (COM4)", "USB"},
          {"COM5", "Prolific USB-to-Serial Comm Port (COM5)", "USB"},
          {"COM1", "Communications Port (COM1)", "ACPI"}},
         {{"COM1", "Serial0"}, {"COM3", "VCP0"}, {"COM4", "CH341SER0"}, {"COM5", "ProlificSerial0"}},
         {{"COM5", "Prolific USB-to-Serial Comm Port (COM5)", -1},
          {"COM1", "Communications Port (COM1)", 0},
          {"COM3", "USB Serial Port (COM3)", 2},
          {"COM4", "USB-SERIAL CH340 (COM4)", 3}}},
        {"device map alone: driver names, in the order of the numbers",
         {},
         {{"COM10", "VCP0"}, {"COM9", "USBSER000"}, {"COM7", ""}},
         {{"COM7", "COM7", -1}, {"COM9", "COM9 (USBSER000)", -1}, {"COM10", "COM10 (VCP0)", -1}}},
        {"the class's friendly name wins over the driver; each port once",
         {{"COM5", "USB Serial Port (COM5)", "FTDIBUS"}},
         {{"COM5", "VCP0"}},
         {{"COM5", "USB Serial Port (COM5)", -1}}},
        {"USB adapters first, then the rest by number",
         {{"COM12", "USB-SERIAL CH340 (COM12)", "USB"}, {"COM6", "Communications Port (COM6)", "ACPI"}},
         {{"COM6", "Serial0"}, {"COM5", "Serial4"}, {"COM12", "CH341SER"}},
         {{"COM12", "USB-SERIAL CH340 (COM12)", -1},
          {"COM5", "COM5 (Serial4)", -1},
          {"COM6", "Communications Port (COM6)", -1}}},
        {"a friendly name without the port gets it; one listed twice once",
         {{"COM8", "Bluetooth link", "BTHENUM"}, {"com8", "Bluetooth link", "BTHENUM"}, {"", "nameless", "USB"}},
         {},
         {{"COM8", "Bluetooth link (COM8)", -1}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::vector<window::FoundPort> ports = window::MenuPorts(row.classPorts, row.mapped);
        std::vector<std::tuple<std::string, std::string, int>> menu;
        for (const window::FoundPort& port : ports) menu.emplace_back(port.name, port.text, port.fixedItem);
        EXPECT_EQ(menu, row.menu);
    }
}

}  // namespace
