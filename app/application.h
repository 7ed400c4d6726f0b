// The application object: every error that escapes an event handler is
// presented and the event loop goes on.
#pragma once

#include <QApplication>

namespace app {

class TApplication : public QApplication {
public:
    // Installs the error presentation for the windows' handlers and for the
    // port component; the component's goes again with the application.
    TApplication(int& argc, char** argv);
    ~TApplication() override;
    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace app
