// Why a port did not open, in words a user can act on. The window's error box
// and the command-line companion both explain a failed opening from here.
#pragma once

#include <string>
#include <vector>

namespace serial {

enum class OpenFailureKind { Missing, NoPermission, Busy, NotSerial, BadName, Other };

struct OpenFailure {
    OpenFailureKind kind = OpenFailureKind::Other;
    std::string device;       // the port's name, and its device path where that says more; cut for a box
    std::string reason;       // English, "permission denied"; else the system's text for the code
    std::string advice;       // English sentence for the window: what to do
    std::string commandHint;  // English, for the command line: what to do, with the commands
};

// Platform: the kind of failure a system error code of an opening means, and
// the system's own text for the code.
OpenFailureKind ClassifyOpenError(int systemErrorCode);
std::string SystemErrorText(int systemErrorCode);
// Where the user finds the names of the computer's ports, for the command line.
std::string PortListHint();
// The device a port name opens, where it says more than the name ("/dev/ttyS0"
// for COM1 on Linux); else the name itself.
std::string DeviceShownFor(const std::string& port);

OpenFailure DescribeOpenFailure(const std::string& port, int systemErrorCode);

// The failure in one line in the current language, for the error box:
// "Port COM1 (/dev/ttyS0): permission denied. Add your user to ...". Never
// raises: with a catalog that cannot deliver, the line stays English.
std::string OpenFailureLine(const std::string& port, int systemErrorCode);

// The device of an open port went away, in one line in the current language:
// "The adapter on port COM3 was removed. Plug it in and choose the port
// again." Never raises.
std::string RemovedDeviceLine(const std::string& port);

// Every English text OpenFailureLine and RemovedDeviceLine pass through the catalogs.
std::vector<std::string> OpenFailureTexts();

}  // namespace serial
