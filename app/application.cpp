#include "app/application.h"

#include "app/error_presentation.h"
#include "serial/component.h"
#include "window/handler_guard.h"

namespace app {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    SetApplicationTitle(ApplicationTitleFromPath(applicationFilePath().toStdString()));
    window::SetErrorPresenter(&HandleUncaughtError);
    serial::SetApplicationExceptionHandler(&PresentComponentError);
}

TApplication::~TApplication() { serial::SetApplicationExceptionHandler({}); }

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        HandleUncaughtError();
        return true;
    }
}

}  // namespace app
