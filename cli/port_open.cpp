#include "cli/port_open.h"

#include <utility>

#include "serial/com_error.h"
#include "serial/device/device.h"
#include "serial/open_failure.h"

namespace cli {

PortProblem DescribeOpenFailure(const std::string& port, int code) {
    static constexpr std::pair<serial::OpenFailureKind, ExitCode> kCodes[] = {
        {serial::OpenFailureKind::Missing, kExitNoDevice},
        {serial::OpenFailureKind::NoPermission, kExitNoPermission},
        {serial::OpenFailureKind::Busy, kExitBusy},
    };
    const serial::OpenFailure failure = serial::DescribeOpenFailure(port, code);
    ExitCode exit = kExitPortError;
    for (const auto& [kind, each] : kCodes)
        if (kind == failure.kind) exit = each;
    return {exit, "cannot open " + failure.device + ": " + failure.reason, failure.commandHint};
}

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
