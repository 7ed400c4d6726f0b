// Port names on Windows and the backend that opens them.
#include "core/platform/fine_timer_win32.h"
#include "serial/device/device.h"
#include "serial/device/win32_device.h"
#ifdef PD_SERIAL_HAS_PUMPSIM
#include "serial/device/sim_device.h"
#endif

// After the device layer's names, which the system's header also defines.
#include <windows.h>

namespace serial::device {

// A name already in the device namespace (\\.\COM10, as Windows users write
// ports above COM9) is taken as it is.
std::string DevicePathForPort(const std::string& portName) {
    static const std::string kPrefix = "\\\\.\\";
    return portName.starts_with(kPrefix) ? portName : kPrefix + portName;
}

int SystemErrorCode(SystemFailure failure) {
    switch (failure) {
        case SystemFailure::ClosedPort: return ERROR_INVALID_HANDLE;
        case SystemFailure::InvalidArgument: return ERROR_INVALID_PARAMETER;
        case SystemFailure::Aborted: return ERROR_OPERATION_ABORTED;
        case SystemFailure::NoResources: return ERROR_TOO_MANY_OPEN_FILES;
    }
    return ERROR_INVALID_PARAMETER;
}

// What a USB serial driver answers once its device is gone: the handle stays
// valid, and every call on it fails with one of these.
bool GoneDeviceCode(int code) {
    switch (static_cast<DWORD>(code)) {
        case ERROR_ACCESS_DENIED:
        case ERROR_BAD_COMMAND:
        case ERROR_GEN_FAILURE:
        case ERROR_DEVICE_REMOVED:
        case ERROR_OPERATION_ABORTED: return true;
        default: return false;
    }
}

std::shared_ptr<SerialDevice> OpenSerialDevice(const std::string& portName, int& error) {
    error = 0;
#ifdef PD_SERIAL_HAS_PUMPSIM
    if (IsSimulatedPortName(portName)) {
        // The simulated line keeps real byte timing: the same 1 ms timer as a COM port.
        struct Held {
            core::FineTimer timer;
            std::shared_ptr<SerialDevice> device;
        };
        auto held = std::make_shared<Held>();
        held->device = OpenSimulatedDevice(error);
        if (!held->device) return nullptr;
        return std::shared_ptr<SerialDevice>(held, held->device.get());
    }
#endif
    return OpenWin32Device(DevicePathForPort(portName), error);
}

}  // namespace serial::device
