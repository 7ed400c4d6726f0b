#include "app/startup.h"

#include <cstdint>
#include <memory>

#include "app/error_presentation.h"
#include "app/startup_face.h"

namespace app {

void CreateWindows() {
    CreateMainWindow();
    try {
        RunMainWindowCreate();
    } catch (...) {
        HandleUncaughtError();
    }
    CreateAboutWindow();
    ShowMainWindow();
}

void DestroyWindows() {
    DestroyAboutWindow();
    DestroyMainWindow();
}

int RunProgram(int argc, char** argv) { return RunProgram(argc, argv, &CreateWindows); }

int RunProgram(int argc, char** argv, void (*createWindows)()) {
    bool failed = false;
    const std::uintptr_t at = StartModulesAt(failed);
    if (failed) {
        // No window of the program exists: a plain box titled "Error".
        ShowStartupFailure(argc, argv, StartupFailureText(at));
        return kStartupFailureExitCode;
    }
    int rc = 0;
    {
        const std::unique_ptr<ApplicationScope> application = StartApplication(argc, argv);
        try {
            createWindows();
            rc = RunMessageLoop();
        } catch (...) {
            // Outside every handler: nothing can go on without the windows.
            PresentFatalError();
            rc = kFatalErrorExitCode;
        }
        DestroyWindows();
    }
    EndModules();
    return rc;
}

}  // namespace app
