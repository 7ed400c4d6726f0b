// Port names on POSIX: COMn is a serial device under /dev, other names are
// paths or lie under /dev.
#include <gtest/gtest.h>

#include "serial/device/device.h"

using namespace serial;

TEST(PortSettings, PortPortNamesMapToDevicePaths) {
    EXPECT_EQ(device::DevicePathForPort("COM1"), "/dev/ttyS0");
    EXPECT_EQ(device::DevicePathForPort("com12"), "/dev/ttyS11");
    EXPECT_EQ(device::DevicePathForPort("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(device::DevicePathForPort("/dev/pts/3"), "/dev/pts/3");
    EXPECT_EQ(device::DevicePathForPort("COM0"), "/dev/COM0");
    EXPECT_TRUE(device::IsSimulatedPortName("sIm"));
    EXPECT_FALSE(device::IsSimulatedPortName("SIM1"));
}
