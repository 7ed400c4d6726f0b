#include "cli/port_open.h"

#include "serial/com_error.h"

namespace cli {

void OpenLikeTheProgram(window::PortComponent& com, const std::string& port) {
    try {
        com.SetPort(port);
        com.OpenPort();
        com.PurgeBuffers(true, true);
    } catch (const serial::EComPort& e) {
        if (e.ErrorNumber() == serial::CError_OpenFailed && e.SystemErrorCode() > 0)
            throw PortOpenError(DescribeOpenFailure(port, e.SystemErrorCode()));
        throw PortOpenError({kExitPortError, "cannot set up " + port + ": " + e.Message(),
                             "check the adapter and its driver"});
    }
}

}  // namespace cli
