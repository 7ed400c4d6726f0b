// The start-up's parts on Qt: the boxes, the application object, the windows.
#include <memory>

#include <QIcon>
#include <QPixmap>

#include "app/about_form.h"
#include "app/application.h"
#include "app/startup_face.h"
#include "window/qt/form1.h"
#include "window/qt/message_box.h"
#include "window/qt/pictures.h"

namespace app {

void ShowStartupFailure(int& argc, char** argv, const std::string& text) {
    std::unique_ptr<QApplication> boxOnly;
    if (!QCoreApplication::instance()) boxOnly = std::make_unique<QApplication>(argc, argv);
    window::ShowMessageBox(nullptr, {"Error", text, window::BoxIcon::None});
}

namespace {
// The program's application object, unless one exists already (a test's).
class QtApplication : public ApplicationScope {
public:
    QtApplication(int& argc, char** argv) {
        if (!QCoreApplication::instance()) own_ = std::make_unique<TApplication>(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        QApplication::setWindowIcon(QIcon(QPixmap::fromImage(window::ProgramIconImage())));
    }

private:
    std::unique_ptr<TApplication> own_;
};
}  // namespace

std::unique_ptr<ApplicationScope> StartApplication(int& argc, char** argv) {
    return std::make_unique<QtApplication>(argc, argv);
}

int RunMessageLoop() { return QApplication::exec(); }

void CreateMainWindow() { window::Form1 = new window::TForm1(); }
void RunMainWindowCreate() { window::Form1->FormCreate(); }

void CreateAboutWindow() {
    window::About = new TAbout();
    window::About->show();
}

void ShowMainWindow() {
    window::Form1->show();
    window::Form1->raise();
    window::Form1->activateWindow();
}

void DestroyAboutWindow() {
    delete window::About;
    window::About = nullptr;
}

void DestroyMainWindow() {
    delete window::Form1;
    window::Form1 = nullptr;
}

}  // namespace app
