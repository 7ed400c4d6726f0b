// Start-up and shutdown of the program.
#pragma once

#include <cstdint>

namespace app {

// Starts the linked modules: the localization runtime, then the port's
// error table. Raises what they raise; what started is ended again first.
void StartModules();
void EndModules();
// StartModules, reporting a failure in `failed`; returns the address of its
// call in the caller, for the start-up failure box. Kept out of line so that
// the return address names that call.
[[gnu::noinline]] std::uintptr_t StartModulesAt(bool& failed);

// Creates the main window and runs its creation handler (an error there is
// presented at once), creates and shows the About dialog, then shows the
// main window. The application object must exist.
void CreateWindows();
// Destroys both windows; the main window closes its port.
void DestroyWindows();

// The whole program: modules, application, windows, message loop, end. An
// error that escapes while the windows are built (outside the creation
// handler) gets the last-resort box and the exit code kFatalErrorExitCode.
int RunProgram(int argc, char** argv);
// The same with another way of building the windows; uses the application
// object that exists, if any.
int RunProgram(int argc, char** argv, void (*createWindows)());
constexpr int kFatalErrorExitCode = 1;

}  // namespace app
