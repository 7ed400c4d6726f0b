// What a platform gives the start-up sequence (app/startup.cpp): its boxes,
// its application object, its windows and its message loop. The Qt program
// has them in app/startup_qt.cpp, the Windows program in
// app/win32/startup_win32.cpp.
#pragma once

#include <memory>
#include <string>

namespace app {

// The application object while the windows live; its end undoes what its
// start installed.
class ApplicationScope {
public:
    virtual ~ApplicationScope() = default;
};

// The plain box titled "Error" of a failed start: no window of the program exists.
void ShowStartupFailure(int& argc, char** argv, const std::string& text);
// Starts the application object with the error presentation for the
// windows' handlers and for the port component.
std::unique_ptr<ApplicationScope> StartApplication(int& argc, char** argv);
// Runs the message loop until the program ends; returns its exit code.
int RunMessageLoop();

// The main window, created without running its creation handler.
void CreateMainWindow();
// The main window's creation handler (FormCreate).
void RunMainWindowCreate();
// The About dialog, created and shown.
void CreateAboutWindow();
void ShowMainWindow();
void DestroyAboutWindow();
// The main window closes its port.
void DestroyMainWindow();

}  // namespace app
