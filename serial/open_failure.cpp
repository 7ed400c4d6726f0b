#include "serial/open_failure.h"

#include "core/text/format.h"
#include "localization/gettext.h"
#include "serial/device/device.h"

namespace serial {

namespace {

struct KindTexts {
    OpenFailureKind kind;
    const char* reason;  // null: the system's text
    const char* advice;
    const char* commandHint;
};

constexpr KindTexts kTexts[] = {
    {OpenFailureKind::Missing, "no such device", "Plug the adapter in or choose another port.",
     "check that the adapter is plugged in and the name is right"},
    {OpenFailureKind::NoPermission, "permission denied",
     "Add your user to the dialout group (sudo usermod -aG dialout $USER), then log in again.",
     "add your user to the 'dialout' group (sudo usermod -aG dialout $USER), then log in again"},
    {OpenFailureKind::Busy, "the port is busy: another program holds it",
     "Close the other program or choose another port.",
     "close the diagnostic program or any terminal program using this port, then try again"},
    {OpenFailureKind::NotSerial, "not a serial port", "Choose the port the adapter is on.",
     "give the serial port the adapter is on"},
    {OpenFailureKind::Other, nullptr, "Check the adapter and its driver.", "check the adapter and its driver"},
};

const char kLine[] = "Port %s: %s.";

const KindTexts& TextsOf(OpenFailureKind kind) {
    for (const KindTexts& each : kTexts)
        if (each.kind == kind) return each;
    return kTexts[std::size(kTexts) - 1];
}

}  // namespace

OpenFailure DescribeOpenFailure(const std::string& port, int code) {
    const std::string path = device::DevicePathForPort(port);
    const OpenFailureKind kind = ClassifyOpenError(code);
    const KindTexts& texts = TextsOf(kind);
    std::string commandHint = texts.commandHint;
    if (kind == OpenFailureKind::Missing) commandHint += " (" + PortListHint() + ")";
    return {kind, path != port ? port + " (" + path + ")" : port,
            texts.reason ? texts.reason : SystemErrorText(code), texts.advice, commandHint};
}

std::string OpenFailureLine(const std::string& port, int code) {
    const OpenFailure failure = DescribeOpenFailure(port, code);
    const auto line = [&](auto translate) {
        return core::FormatText(translate(kLine), {failure.device, translate(failure.reason)}) + " " +
               translate(failure.advice);
    };
    try {
        return line([](const std::string& text) { return localization::TranslateUtf8(text); });
    } catch (...) {
        return line([](const std::string& text) { return text; });
    }
}

std::vector<std::string> OpenFailureTexts() {
    std::vector<std::string> texts{kLine};
    for (const KindTexts& each : kTexts) {
        if (each.reason) texts.push_back(each.reason);
        texts.push_back(each.advice);
    }
    return texts;
}

}  // namespace serial
