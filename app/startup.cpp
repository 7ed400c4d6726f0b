#include "app/startup.h"

#include <cstdint>
#include <memory>

#include <QIcon>
#include <QPixmap>

#include "app/about_form.h"
#include "app/application.h"
#include "app/error_presentation.h"
#include "window/qt/form1.h"
#include "window/qt/message_box.h"
#include "window/qt/pictures.h"

namespace app {

void CreateWindows() {
    auto* form = new window::TForm1();
    window::Form1 = form;
    try {
        form->FormCreate();
    } catch (...) {
        HandleUncaughtError();
    }
    auto* about = new TAbout();
    window::About = about;
    about->show();
    form->show();
    form->raise();
    form->activateWindow();
}

void DestroyWindows() {
    delete window::About;
    window::About = nullptr;
    delete window::Form1;
    window::Form1 = nullptr;
}

int RunProgram(int argc, char** argv) { return RunProgram(argc, argv, &CreateWindows); }

int RunProgram(int argc, char** argv, void (*createWindows)()) {
    bool failed = false;
    const std::uintptr_t at = StartModulesAt(failed);
    if (failed) {
        // No window of the program exists: a plain box titled "Error".
        std::unique_ptr<QApplication> boxOnly;
        if (!QCoreApplication::instance()) boxOnly = std::make_unique<QApplication>(argc, argv);
        window::ShowMessageBox(nullptr, {"Error", StartupFailureText(at), window::BoxIcon::None});
        return kStartupFailureExitCode;
    }
    int rc = 0;
    {
        std::unique_ptr<TApplication> own;
        if (!QCoreApplication::instance()) own = std::make_unique<TApplication>(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        QApplication::setWindowIcon(QIcon(QPixmap::fromImage(window::ProgramIconImage())));
        try {
            createWindows();
            rc = QApplication::exec();
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
