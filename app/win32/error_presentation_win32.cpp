// Error presentation on Windows: the boxes through MessageBoxW, owned by the
// application's hidden window; the component's errors handed to the GUI thread.
#include <windows.h>

#include <cxxabi.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <typeinfo>

#include "app/error_presentation.h"
#include "app/win32/application_window.h"
#include "core/exception.h"
#include "core/win32_text.h"
#include "window/win32/controls.h"
#include "window/win32/gui_queue.h"

namespace app {
namespace {
std::string Demangle(const char* name) {
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> plain(abi::__cxa_demangle(name, nullptr, nullptr, &status), std::free);
    return status == 0 && plain ? std::string(plain.get()) : std::string(name);
}

// Our code is linked into the program file: it is the module, and addresses
// are counted from its base.
void ShowLastResort(const std::string& className, const void* address, const std::string& message) {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring module(path, length);
    module.erase(0, module.find_last_of(L"\\/") + 1);
    const auto base = reinterpret_cast<std::uintptr_t>(GetModuleHandleW(nullptr));
    const std::string text =
        LastResortText(className, core::NarrowText(module), reinterpret_cast<std::uintptr_t>(address) - base, message);
    MessageBoxW(nullptr, core::WideText(text).c_str(), L"Application Error", MB_OK | MB_ICONERROR | MB_TASKMODAL);
}

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

std::string ApplicationTitleFromPath(const std::string& path) {
    std::wstring name = core::WideText(path);
    name.erase(0, name.find_last_of(L"\\/") + 1);
    const std::size_t dot = name.find(L'.');
    if (dot != std::wstring::npos) name.resize(dot);
    if (name.size() > 1) CharLowerBuffW(name.data() + 1, static_cast<DWORD>(name.size() - 1));
    return core::NarrowText(name);
}

void ShowErrorMessage(const core::Exception& error) {
    window::win32::ShowModalBox(win32::ApplicationWindow(), core::WideText(ApplicationTitle()),
                                core::WideText(WithFinalPeriod(error.Message())), MB_ICONERROR);
}

void HandleUncaughtError() noexcept {
    const void* where = __builtin_extract_return_addr(__builtin_return_address(0));
    try {
        // A half-finished drag or button press is abandoned first.
        if (HWND capture = GetCapture()) SendMessageW(capture, WM_CANCELMODE, 0, 0);
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
    window::win32::PostToGui([error] {
        try {
            std::rethrow_exception(error);
        } catch (...) {
            HandleUncaughtError();
        }
    });
}

}  // namespace app
