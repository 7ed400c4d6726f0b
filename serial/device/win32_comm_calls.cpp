#include "serial/device/win32_comm_calls.h"

namespace serial::device {

CommCalls& Comm() {
    static CommCalls calls;
    return calls;
}

}  // namespace serial::device
