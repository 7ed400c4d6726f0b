// The start-up's parts on Windows: the boxes, the application object (common
// controls, the GUI queue, the hidden application window), the windows and
// the message loop.
#include <windows.h>

#include <commctrl.h>

#include <memory>

#include "app/error_presentation.h"
#include "app/startup_face.h"
#include "app/win32/about.h"
#include "app/win32/application_window.h"
#include "core/text/win32_text.h"
#include "serial/component.h"
#include "window/handler_guard.h"
#include "window/win32/form1.h"
#include "window/win32/gui_queue.h"

namespace app {

namespace {
using window::win32::Form1;

class Win32Application : public ApplicationScope {
public:
    Win32Application() {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
        InitCommonControlsEx(&controls);
        window::win32::StartGuiQueue();
        win32::ApplicationWindow();
        window::SetErrorPresenter(&HandleUncaughtError);
        serial::SetApplicationExceptionHandler(&PresentComponentError);
    }
    ~Win32Application() override { serial::SetApplicationExceptionHandler({}); }
};

// Tab, Enter and Space move and press as in dialogs, in both windows.
bool DialogKey(MSG& message) {
    for (HWND window : {Form1 ? Form1->Handle() : nullptr, window::win32::About})
        if (window && IsDialogMessageW(window, &message)) return true;
    return false;
}
}  // namespace

void ShowStartupFailure(int&, char**, const std::string& text) {
    MessageBoxW(nullptr, core::WideText(text).c_str(), L"Error", MB_OK);
}

std::unique_ptr<ApplicationScope> StartApplication(int&, char**) { return std::make_unique<Win32Application>(); }

int RunMessageLoop() {
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

void CreateMainWindow() { Form1 = new window::win32::TForm1(); }
void RunMainWindowCreate() { Form1->FormCreate(); }
void CreateAboutWindow() { window::win32::About = win32::CreateAbout(); }
void ShowMainWindow() { Form1->Show(); }

void DestroyAboutWindow() {
    if (window::win32::About) DestroyWindow(window::win32::About);
    window::win32::About = nullptr;
}

void DestroyMainWindow() { delete Form1; }

}  // namespace app
