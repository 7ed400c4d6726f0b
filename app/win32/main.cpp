// The program on Windows: the title, the user's folder when asked for, then
// the start-up sequence both programs share (app/startup.cpp).
#include <windows.h>

#include <string>

#include "app/error_presentation.h"
#include "app/startup.h"
#include "app/win32/application_window.h"
#include "core/platform/running_mark.h"
#include "app/win32/user_folder.h"
#include "core/text/win32_text.h"

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

int main(int argc, char** argv) {
    using namespace app;
    core::HoldRunningMark();
    SetApplicationTitle(ApplicationTitleFromPath(win32::ProgramPath()));
    if (win32::AskedForUserFolder()) {
        const std::string failure = win32::EnterUserFolder();
        if (!failure.empty()) {
            MessageBoxW(nullptr, core::WideText(failure).c_str(), core::WideText(ApplicationTitle()).c_str(),
                        MB_OK | MB_ICONERROR);
            return 1;
        }
    }
    return RunProgram(argc, argv);
}
