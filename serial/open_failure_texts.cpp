#include "serial/open_failure_texts.h"

namespace serial {

namespace {

const char kBusyHint[] = "close the diagnostic program or any terminal program using this port, then try again";
const char kNotSerial[] = "not a serial port";
const char kNotSerialAdvice[] = "Choose the port the adapter is on.";
const char kNotSerialHint[] = "give the serial port the adapter is on";
const char kBadName[] = "this is not a port name";
const char kOtherAdvice[] = "Check the adapter and its driver.";
const char kOtherHint[] = "check the adapter and its driver";
const char kMissingHint[] = "check that the adapter is plugged in and the name is right";

constexpr FailureTexts kPosix[] = {
    {OpenFailureKind::Missing, "no such device", "Plug the adapter in or choose another port.", kMissingHint},
    {OpenFailureKind::NoPermission, "permission denied",
     "Add your user to the dialout group (sudo usermod -aG dialout $USER), then log in again.",
     "add your user to the 'dialout' group (sudo usermod -aG dialout $USER), then log in again"},
    {OpenFailureKind::Busy, "the port is busy: another program holds it",
     "Close the other program or choose another port.", kBusyHint},
    {OpenFailureKind::NotSerial, kNotSerial, kNotSerialAdvice, kNotSerialHint},
    {OpenFailureKind::BadName, kBadName, "Choose the port in the menu.",
     "give the port as COMn, a name under /dev/ or a path"},
    {OpenFailureKind::Other, nullptr, kOtherAdvice, kOtherHint},
};

// A COM port that another program holds is refused as access denied: on
// Windows the two cannot be told apart.
constexpr FailureTexts kWindows[] = {
    {OpenFailureKind::Missing, "there is no such port",
     "Plug the adapter in, look up its COM port in the Device Manager under \"Ports (COM & LPT)\" and choose "
     "that port in the menu.",
     kMissingHint},
    {OpenFailureKind::NoPermission, "access denied",
     "Ask the computer's administrator for access to the port, or choose another port.",
     "ask the computer's administrator for access to the port"},
    {OpenFailureKind::Busy, "the port is in use by another program, or access to it is denied",
     "Close the other program that uses the port (a terminal, another diagnostic program) or choose another port.",
     kBusyHint},
    {OpenFailureKind::NotSerial, kNotSerial, kNotSerialAdvice, kNotSerialHint},
    {OpenFailureKind::BadName, kBadName, "Choose the port in the menu; ports are named COM1, COM2 and so on.",
     "give the port as COMn (COM3, or \\\\.\\COM10)"},
    {OpenFailureKind::Other, nullptr, kOtherAdvice, kOtherHint},
};

}  // namespace

std::span<const FailureTexts> PosixFailureTexts() { return kPosix; }
std::span<const FailureTexts> WindowsFailureTexts() { return kWindows; }

}  // namespace serial
