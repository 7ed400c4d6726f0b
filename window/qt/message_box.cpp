#include "window/qt/message_box.h"

#include <QMessageBox>
#include <QString>

#include "window/qt/window_frame.h"

namespace window {
namespace {
BoxHook& Hook() {
    static BoxHook hook;
    return hook;
}

QMessageBox::Icon ToQt(BoxIcon icon) {
    switch (icon) {
        case BoxIcon::Information: return QMessageBox::Information;
        case BoxIcon::Error: return QMessageBox::Critical;
        case BoxIcon::None: break;
    }
    return QMessageBox::NoIcon;
}
}  // namespace

void ShowMessageBox(QWidget* owner, const BoxRecord& box) {
    if (Hook()) {
        Hook()(box);
        return;
    }
    QMessageBox mb(ToQt(box.icon), QString::fromStdString(box.title), QString::fromStdString(box.text),
                   QMessageBox::Ok, owner);
    // An empty title must stay empty rather than fall back to the application name.
    mb.setWindowTitle(QString::fromStdString(box.title));
    KeepEmptyTitleEmpty(&mb);
    mb.setTextFormat(Qt::PlainText);
    mb.exec();
}

BoxHook ReplaceBoxHook(BoxHook hook) {
    BoxHook previous = std::move(Hook());
    Hook() = std::move(hook);
    return previous;
}

}  // namespace window
