#include "app/error_presentation.h"

#include <cxxabi.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include <QApplication>
#include <QString>
#include <QThread>
#include <QWidget>

#include "core/exception.h"
#include "window/qt/message_box.h"

namespace app {
namespace {
std::string Demangle(const char* name) {
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> plain(abi::__cxa_demangle(name, nullptr, nullptr, &status), std::free);
    return status == 0 && plain ? std::string(plain.get()) : std::string(name);
}

// Offset of a code address from the base of the module that holds it.
std::uintptr_t ModuleOffset(const void* address) {
    Dl_info info{};
    if (dladdr(address, &info) && info.dli_fbase)
        return reinterpret_cast<std::uintptr_t>(address) - reinterpret_cast<std::uintptr_t>(info.dli_fbase);
    return reinterpret_cast<std::uintptr_t>(address);
}

// The box names the program file as the module: our code is linked into it.
void ShowLastResort(const std::string& className, const void* address, const std::string& message) {
    const std::string module = QCoreApplication::applicationFilePath().section(QLatin1Char('/'), -1).toStdString();
    window::ShowMessageBox(nullptr, {"Application Error", LastResortText(className, module, ModuleOffset(address), message),
                                     window::BoxIcon::Error});
}

// The last-resort box for the error currently being handled, whatever its class.
void ShowLastResortForCurrent(const void* where) {
    try {
        throw;
    } catch (const core::Exception& error) {
        ShowLastResort(error.ClassName(), where, error.Message());
    } catch (const std::exception& error) {
        ShowLastResort(Demangle(typeid(error).name()), where, "");
    } catch (...) {
        const std::type_info* type = abi::__cxa_current_exception_type();
        ShowLastResort(type ? Demangle(type->name()) : std::string("unknown"), where, "");
    }
}
}  // namespace

std::string ApplicationTitleFromPath(const std::string& path) {
    QString name = QString::fromStdString(path).section(QLatin1Char('/'), -1);
    const auto dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0) name.truncate(dot);
    if (name.size() > 1) name = name.left(1) + name.mid(1).toLower();
    return name.toStdString();
}

void ShowErrorMessage(const core::Exception& error) {
    window::ShowMessageBox(nullptr, {ApplicationTitle(), WithFinalPeriod(error.Message()), window::BoxIcon::Error});
}

void HandleUncaughtError() noexcept {
    const void* where = __builtin_extract_return_addr(__builtin_return_address(0));
    try {
        // A half-finished drag or button press is abandoned first.
        if (QWidget* grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
        try {
            throw;
        } catch (const core::EAbort&) {
        } catch (const core::Exception& error) {
            ShowErrorMessage(error);
        } catch (...) {
            ShowLastResortForCurrent(where);
        }
    } catch (...) {
        std::fputs("error while presenting an error\n", stderr);
    }
}

void PresentFatalError() noexcept {
    const void* where = __builtin_extract_return_addr(__builtin_return_address(0));
    try {
        ShowLastResortForCurrent(where);
    } catch (...) {
        std::fputs("error while presenting an error\n", stderr);
    }
}

void PresentComponentError(serial::TComponent*, std::exception_ptr error) {
    auto present = [error] {
        try {
            std::rethrow_exception(error);
        } catch (...) {
            HandleUncaughtError();
        }
    };
    // Components also report from their monitoring threads; boxes belong to the GUI thread.
    QCoreApplication* application = QCoreApplication::instance();
    if (!application || QThread::currentThread() == application->thread())
        present();
    else
        QMetaObject::invokeMethod(application, present, Qt::QueuedConnection);
}

}  // namespace app
