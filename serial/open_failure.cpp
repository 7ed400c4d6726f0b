#include "serial/open_failure.h"

#include "core/text/format.h"
#include "core/text/short_text.h"
#include "localization/gettext.h"
#include "serial/device/device.h"
#include "serial/open_failure_texts.h"

namespace serial {

namespace {

const char kLine[] = "Port %s: %s.";
const char kRemovedLine[] = "The adapter on port %s was removed. Plug it in and choose the port again.";
// A name typed into a file may be thousands of characters long.
constexpr std::size_t kDeviceChars = 60;

const FailureTexts& TextsOf(OpenFailureKind kind) {
    const std::span<const FailureTexts> texts = PlatformFailureTexts();
    for (const FailureTexts& each : texts)
        if (each.kind == kind) return each;
    return texts.back();
}

// The port's name, and its device path where that says more; cut for a box.
std::string DeviceNamed(const std::string& port) {
    const std::string shown = DeviceShownFor(port);
    std::string device = core::ShortenedEnd(port, kDeviceChars);
    if (shown != port) device += " (" + core::ShortenedEnd(shown, kDeviceChars) + ")";
    return device;
}

// `line` in the current language; English where the catalog cannot deliver.
template <typename Line>
std::string InUserLanguage(Line line) {
    try {
        return line([](const std::string& text) { return localization::TranslateUtf8(text); });
    } catch (...) {
        return line([](const std::string& text) { return text; });
    }
}

}  // namespace

OpenFailure DescribeOpenFailure(const std::string& port, int code) {
    const OpenFailureKind kind = ClassifyOpenError(code);
    const FailureTexts& texts = TextsOf(kind);
    std::string commandHint = texts.commandHint;
    if (kind == OpenFailureKind::Missing) commandHint += " (" + PortListHint() + ")";
    return {kind, DeviceNamed(port), texts.reason ? texts.reason : SystemErrorText(code), texts.advice, commandHint};
}

std::string OpenFailureLine(const std::string& port, int code) {
    const OpenFailure failure = DescribeOpenFailure(port, code);
    const auto line = [&](auto translate) {
        return core::FormatText(translate(kLine), {failure.device, translate(failure.reason)}) + " " +
               translate(failure.advice);
    };
    return InUserLanguage(line);
}

std::string RemovedDeviceLine(const std::string& port) {
    const std::string device = DeviceNamed(port);
    return InUserLanguage([&](auto translate) { return core::FormatText(translate(kRemovedLine), {device}); });
}

std::vector<std::string> OpenFailureTexts() {
    std::vector<std::string> texts{kLine, kRemovedLine};
    for (const auto& table : {PosixFailureTexts(), WindowsFailureTexts()}) {
        for (const FailureTexts& each : table) {
            if (each.reason) texts.push_back(each.reason);
            texts.push_back(each.advice);
        }
    }
    return texts;
}

}  // namespace serial
