// Opening the port the way the diagnostic program does (its port component
// with its settings, then a purge), and saying in plain words why an opening
// failed and what to do about it.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "cli/exit_codes.h"
#include "window/port_component.h"

namespace cli {

struct PortProblem {
    ExitCode code = kExitPortError;
    std::string reason;  // one line: what is wrong
    std::string hint;    // one line: what to do
};

class PortOpenError : public std::runtime_error {
public:
    explicit PortOpenError(PortProblem problem)
        : std::runtime_error(problem.reason), problem_(std::move(problem)) {}
    const PortProblem& Problem() const { return problem_; }

private:
    PortProblem problem_;
};

// The problem behind a failed opening of `port` with the system's error code.
PortProblem DescribeOpenFailure(const std::string& port, int systemErrorCode);

// Opens `port` on `com`; raises PortOpenError.
void OpenLikeTheProgram(window::PortComponent& com, const std::string& port);

}  // namespace cli
