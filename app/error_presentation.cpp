#include "app/error_presentation.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include <QApplication>
#include <QString>
#include <QThread>
#include <QWidget>

#include "core/platform/exception.h"
#include "window/qt/message_box.h"

namespace app {
namespace {
// Offset of a code address from the base of the module that holds it.
std::uintptr_t ModuleOffset(const void* address) {
    Dl_info info{};
    if (dladdr(address, &info) && info.dli_fbase)
        return reinterpret_cast<std::uintptr_t>(address) - reinterpret_cast<std::uintptr_t>(info.dli_fbase);
    return reinterpret_cast<std::uintptr_t>(address);
}
}  // namespace

std::string ApplicationTitleFromPath(const std::string& path) {
    QString name = QString::fromStdString(path).section(QLatin1Char('/'), -1);
    const auto dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0) name.truncate(dot);
    if (name.size() > 1) name = name.left(1) + name.mid(1).toLower();
    return name.toStdString();
}

// The box names the program file as the module: our code is linked into it.
void ShowLastResort(const std::string& className, const void* address, const std::string& message) {
    const std::string module = QCoreApplication::applicationFilePath().section(QLatin1Char('/'), -1).toStdString();
    window::ShowMessageBox(nullptr, {"Application Error", LastResortText(className, module, ModuleOffset(address), message),
                                     window::BoxIcon::Error});
}

void CancelMouseCapture() {
    if (QWidget* grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
}

void ShowErrorMessage(const core::Exception& error) {
    window::ShowMessageBox(nullptr, {ApplicationTitle(), WithFinalPeriod(error.Message()), window::BoxIcon::Error});
}

void RunOnGuiThread(std::function<void()> action) {
    QCoreApplication* application = QCoreApplication::instance();
    if (!application || QThread::currentThread() == application->thread())
        action();
    else
        QMetaObject::invokeMethod(application, std::move(action), Qt::QueuedConnection);
}

}  // namespace app
