// The application object: every error that escapes an event handler is
// presented and the event loop goes on.
#pragma once

#include <QApplication>

namespace app {

class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace app
