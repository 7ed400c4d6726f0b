#include <cerrno>
#include <cstring>

#include "serial/device/device.h"
#include "serial/open_failure.h"
#include "serial/open_failure_texts.h"

namespace serial {

OpenFailureKind ClassifyOpenError(int code) {
    switch (code) {
        case ENOENT:
        case ENODEV:
        case ENXIO: return OpenFailureKind::Missing;
        case EACCES:
        case EPERM: return OpenFailureKind::NoPermission;
        case EBUSY:
        case EWOULDBLOCK: return OpenFailureKind::Busy;  // the exclusive flag, or another opener's lock
        case ENOTTY: return OpenFailureKind::NotSerial;
        case ENAMETOOLONG: return OpenFailureKind::BadName;
        default: return OpenFailureKind::Other;
    }
}

std::string SystemErrorText(int code) { return std::strerror(code); }

std::string PortListHint() { return "ls /dev/ttyUSB* /dev/ttyS*"; }

std::string DeviceShownFor(const std::string& port) { return device::DevicePathForPort(port); }

std::span<const FailureTexts> PlatformFailureTexts() { return PosixFailureTexts(); }

}  // namespace serial
