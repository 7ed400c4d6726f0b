// Error presentation on Windows: the boxes through MessageBoxW, owned by the
// application's hidden window; work for the GUI thread through its queue.
#include <windows.h>

#include "app/error_presentation.h"
#include "app/win32/application_window.h"
#include "core/platform/exception.h"
#include "core/text/win32_text.h"
#include "window/win32/controls.h"
#include "window/win32/gui_queue.h"

namespace app {

std::string ApplicationTitleFromPath(const std::string& path) {
    std::wstring name = core::WideText(path);
    name.erase(0, name.find_last_of(L"\\/") + 1);
    const std::size_t dot = name.find(L'.');
    if (dot != std::wstring::npos) name.resize(dot);
    if (name.size() > 1) CharLowerBuffW(name.data() + 1, static_cast<DWORD>(name.size() - 1));
    return core::NarrowText(name);
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

void CancelMouseCapture() {
    if (HWND capture = GetCapture()) SendMessageW(capture, WM_CANCELMODE, 0, 0);
}

void ShowErrorMessage(const core::Exception& error) {
    window::win32::ShowModalBox(win32::ApplicationWindow(), core::WideText(ApplicationTitle()),
                                core::WideText(WithFinalPeriod(error.Message())), MB_ICONERROR);
}

void RunOnGuiThread(std::function<void()> action) { window::win32::PostToGui(std::move(action)); }

}  // namespace app
