#include "serial/device/win32_registry_calls.h"

namespace serial::device {

RegistryCalls& Registry() {
    static RegistryCalls calls;
    return calls;
}

}  // namespace serial::device
