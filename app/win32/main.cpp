// The program on Windows: modules, application, windows, message loop, end,
// in the order the Linux program keeps (app/startup.cpp).
#include <windows.h>

#include <commctrl.h>

#include <memory>

#include "app/error_presentation.h"
#include "app/startup.h"
#include "app/win32/about.h"
#include "app/win32/application_window.h"
#include "app/win32/user_folder.h"
#include "core/text/win32_text.h"
#include "serial/component.h"
#include "window/handler_guard.h"
#include "window/win32/form1.h"
#include "window/win32/gui_queue.h"

namespace app::win32 {

HWND ApplicationWindow() {
    static HWND window = [] {
        WNDCLASSW type{};
        type.lpfnWndProc = DefWindowProcW;
        type.hInstance = GetModuleHandleW(nullptr);
        type.hIcon = LoadIconW(type.hInstance, MAKEINTRESOURCEW(1));
        type.lpszClassName = L"TApplication";
        RegisterClassW(&type);
        return CreateWindowExW(0, type.lpszClassName, core::WideText(ApplicationTitle()).c_str(), WS_POPUP, 0, 0, 0, 0,
                               nullptr, nullptr, type.hInstance, nullptr);
    }();
    return window;
}

namespace {
using window::win32::Form1;

void CreateWindows() {
    Form1 = new window::win32::TForm1();
    try {
        Form1->FormCreate();
    } catch (...) {
        HandleUncaughtError();
    }
    window::win32::About = CreateAbout();
    Form1->Show();
}

void DestroyWindows() {
    if (window::win32::About) DestroyWindow(window::win32::About);
    window::win32::About = nullptr;
    delete Form1;
}

// Tab, Enter and Space move and press as in dialogs, in both windows.
bool DialogKey(MSG& message) {
    for (HWND window : {Form1 ? Form1->Handle() : nullptr, window::win32::About})
        if (window && IsDialogMessageW(window, &message)) return true;
    return false;
}

int MessageLoop() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        try {
            if (DialogKey(message)) continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        } catch (...) {
            HandleUncaughtError();
        }
    }
    return static_cast<int>(message.wParam);
}

bool AskedForUserFolder() {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    bool asked = false;
    for (int i = 1; i < count; ++i) asked = asked || lstrcmpW(arguments[i], kUserFolderArgument) == 0;
    LocalFree(arguments);
    return asked;
}

std::string ProgramPath() {
    wchar_t path[MAX_PATH];
    return core::NarrowText(std::wstring(path, GetModuleFileNameW(nullptr, path, MAX_PATH)));
}
}  // namespace

}  // namespace app::win32

int main() {
    using namespace app;
    SetApplicationTitle(ApplicationTitleFromPath(win32::ProgramPath()));
    if (win32::AskedForUserFolder()) {
        const std::string failure = win32::EnterUserFolder();
        if (!failure.empty()) {
            MessageBoxW(nullptr, core::WideText(failure).c_str(), core::WideText(ApplicationTitle()).c_str(),
                        MB_OK | MB_ICONERROR);
            return 1;
        }
    }
    bool failed = false;
    const std::uintptr_t at = StartModulesAt(failed);
    if (failed) {
        // No window of the program exists: a plain box titled "Error".
        MessageBoxW(nullptr, core::WideText(StartupFailureText(at)).c_str(), L"Error", MB_OK);
        return kStartupFailureExitCode;
    }
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    window::win32::StartGuiQueue();
    win32::ApplicationWindow();
    window::SetErrorPresenter(&HandleUncaughtError);
    serial::SetApplicationExceptionHandler(&PresentComponentError);
    int rc = 0;
    try {
        win32::CreateWindows();
        rc = win32::MessageLoop();
    } catch (...) {
        // Outside every handler: nothing can go on without the windows.
        PresentFatalError();
        rc = kFatalErrorExitCode;
    }
    win32::DestroyWindows();
    serial::SetApplicationExceptionHandler({});
    EndModules();
    return rc;
}
