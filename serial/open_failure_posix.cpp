#include <cerrno>
#include <cstring>

#include "serial/open_failure.h"

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
        default: return OpenFailureKind::Other;
    }
}

std::string SystemErrorText(int code) { return std::strerror(code); }

std::string PortListHint() { return "ls /dev/ttyUSB* /dev/ttyS*"; }

}  // namespace serial
