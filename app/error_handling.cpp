// What every platform's error presentation shares: the dispatch of an
// escaped error to its box, the component's errors sent to the GUI thread,
// the boxes' texts and the title they carry.
#include "app/error_presentation.h"

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <typeinfo>

#include "core/platform/exception.h"

namespace app {

namespace {
std::string& Title() {
    static std::string title;
    return title;
}

std::string Demangle(const char* name) {
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> plain(abi::__cxa_demangle(name, nullptr, nullptr, &status), std::free);
    return status == 0 && plain ? std::string(plain.get()) : std::string(name);
}

// The last-resort box for the error currently being handled, whatever its class.
void ShowLastResortForCurrent(const void* where) {
    try {
        throw;
    } catch (const core::Exception& error) {
        ShowLastResort(error.ClassName(), where, error.Message());
    } catch (const std::exception& error) {
        ShowLastResort(Demangle(typeid(error).name()), where, "");
    } catch (...) {
        const std::type_info* type = abi::__cxa_current_exception_type();
        ShowLastResort(type ? Demangle(type->name()) : std::string("unknown"), where, "");
    }
}
}  // namespace

void HandleUncaughtError() noexcept {
    const void* where = __builtin_extract_return_addr(__builtin_return_address(0));
    try {
        // A half-finished drag or button press is abandoned first.
        CancelMouseCapture();
        try {
            throw;
        } catch (const core::EAbort&) {
        } catch (const core::Exception& error) {
            ShowErrorMessage(error);
        } catch (...) {
            ShowLastResortForCurrent(where);
        }
    } catch (...) {
        std::fputs("error while presenting an error\n", stderr);
    }
}

void PresentFatalError() noexcept {
    const void* where = __builtin_extract_return_addr(__builtin_return_address(0));
    try {
        ShowLastResortForCurrent(where);
    } catch (...) {
        std::fputs("error while presenting an error\n", stderr);
    }
}

void PresentComponentError(serial::TComponent*, std::exception_ptr error) {
    // Components also report from their monitoring threads; boxes belong to the GUI thread.
    RunOnGuiThread([error] {
        try {
            std::rethrow_exception(error);
        } catch (...) {
            HandleUncaughtError();
        }
    });
}

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
