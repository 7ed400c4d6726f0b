#include "window/qt/window_frame.h"

#include <cstdlib>
#include <cstring>
#include <utility>

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

#ifdef PD_WITH_XCB
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>
#endif

namespace window {
namespace {

#ifdef PD_WITH_XCB
xcb_connection_t* X11Connection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
}
#endif

class FrameWatch : public QObject, public QAbstractNativeEventFilter {
public:
    FrameWatch(QWidget* window, std::function<void(QMargins)> fit)
        : QObject(window), window_(window), fit_(std::move(fit)) {
        window->installEventFilter(this);
#ifdef PD_WITH_XCB
        if (xcb_connection_t* connection = X11Connection()) {
            extents_ = Atom(connection, "_NET_FRAME_EXTENTS");
            QCoreApplication::instance()->installNativeEventFilter(this);
        }
#endif
    }
    ~FrameWatch() override {
        if (QCoreApplication* application = QCoreApplication::instance())
            application->removeNativeEventFilter(this);
    }

    // Where the platform knows the frame when the window is shown.
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Show) Report();
        return false;
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
#ifdef PD_WITH_XCB
        if (type != "xcb_generic_event_t") return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7F) != XCB_PROPERTY_NOTIFY) return false;
        const auto* change = reinterpret_cast<const xcb_property_notify_event_t*>(event);
        if (change->atom == extents_ && change->window == window_->internalWinId()) QueueReport();
#else
        (void)type;
        (void)message;
#endif
        return false;
    }

private:
    // The toolkit takes in new extents only when it handles the very event
    // this filter sees first, so the margins are read afterwards.
    void QueueReport() {
        QMetaObject::invokeMethod(this, [this] { Report(); }, Qt::QueuedConnection);
    }
    void Report() {
        const QWindow* handle = window_->windowHandle();
        if (!handle || !window_->isVisible()) return;
        const QMargins frame = handle->frameMargins();
        if (!frame.isNull()) fit_(frame);
    }

    QWidget* window_;
    std::function<void(QMargins)> fit_;
    unsigned extents_ = 0;
};

class EmptyTitleKeeper : public QObject {
public:
    explicit EmptyTitleKeeper(QWidget* window) : QObject(window), window_(window) { window->installEventFilter(this); }

    // Both come after the toolkit has given the window system its title.
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Show || event->type() == QEvent::WindowTitleChange) ClearIfEmpty();
        return false;
    }

private:
    void ClearIfEmpty() const {
#ifdef PD_WITH_XCB
        const WId id = window_->internalWinId();
        xcb_connection_t* connection = X11Connection();
        if (!window_->windowTitle().isEmpty() || !id || !connection) return;
        const auto target = static_cast<xcb_window_t>(id);
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, target, Atom(connection, "_NET_WM_NAME"),
                            Atom(connection, "UTF8_STRING"), 8, 0, nullptr);
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, target, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 0,
                            nullptr);
        xcb_flush(connection);
#endif
    }

    QWidget* window_;
};

}  // namespace

void OnFrameKnown(QWidget* window, std::function<void(QMargins frame)> fit) { new FrameWatch(window, std::move(fit)); }

void KeepEmptyTitleEmpty(QWidget* window) { new EmptyTitleKeeper(window); }

}  // namespace window
