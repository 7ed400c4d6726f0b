// The texts of the error boxes and the application title they carry, the
// same on every platform.
#include <cstdio>

#include "app/error_presentation.h"

namespace app {

namespace {
std::string& Title() {
    static std::string title;
    return title;
}

}  // namespace

const std::string& ApplicationTitle() { return Title(); }
void SetApplicationTitle(std::string title) { Title() = std::move(title); }

std::string WithFinalPeriod(const std::string& message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > static_cast<unsigned char>('.'))
        return message + ".";
    return message;
}

std::string LastResortText(const std::string& className, const std::string& module, std::uintptr_t address,
                           const std::string& message) {
    char hex[17];
    std::snprintf(hex, sizeof hex, "%08llX", static_cast<unsigned long long>(address & 0xFFFFFFFFu));
    std::string text = "Exception " + className + " in module " + module + " at " + hex + ".\n" + message;
    if (!message.empty() && message.back() != '.') text += ".";
    return text;
}

std::string StartupFailureText(std::uintptr_t address) {
    char hex[17];
    std::snprintf(hex, sizeof hex, "%08llX", static_cast<unsigned long long>(address & 0xFFFFFFFFu));
    return std::string("Runtime error 217 at ") + hex;
}

}  // namespace app
