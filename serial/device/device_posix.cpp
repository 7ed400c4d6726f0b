// Port names on POSIX and the backend that opens them.
#include <cerrno>

#include "serial/device/device.h"
#include "serial/device/posix_device.h"
#ifdef PD_SERIAL_HAS_PUMPSIM
#include "serial/device/sim_device.h"
#endif

namespace serial::device {

std::string DevicePathForPort(const std::string& portName) {
    if (portName.find('/') != std::string::npos) return portName;
    if (const int n = ComPortNumber(portName)) return "/dev/ttyS" + std::to_string(n - 1);
    return "/dev/" + portName;
}

int SystemErrorCode(SystemFailure failure) {
    switch (failure) {
        case SystemFailure::ClosedPort: return EBADF;
        case SystemFailure::InvalidArgument: return EINVAL;
        case SystemFailure::Aborted: return ECANCELED;
        case SystemFailure::NoResources: return EMFILE;
    }
    return EINVAL;
}

// A tty whose device went away (a USB adapter pulled out) is hung up: its
// reads and writes fail with EIO, the driver's own calls with ENODEV or ENXIO.
bool GoneDeviceCode(int code) { return code == EIO || code == ENXIO || code == ENODEV; }

std::shared_ptr<SerialDevice> OpenSerialDevice(const std::string& portName, int& error) {
    error = 0;
#ifdef PD_SERIAL_HAS_PUMPSIM
    if (IsSimulatedPortName(portName)) return OpenSimulatedDevice(error);
#endif
    return OpenPosixDevice(DevicePathForPort(portName), error);
}

}  // namespace serial::device
