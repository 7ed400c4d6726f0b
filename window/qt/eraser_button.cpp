#include "window/qt/eraser_button.h"

#include <QIcon>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace window {

TPictureButton::TPictureButton(QWidget* parent, const QString& caption, const QPixmap& picture)
    : QPushButton(caption, parent), picture_(picture) {}

int TPictureButton::captionWidth() const {
    QString shown = text();
    shown.replace(QLatin1String("&&"), QString(QChar(1)));
    shown.remove(QLatin1Char('&'));
    shown.replace(QChar(1), QLatin1Char('&'));
    // horizontalAdvance keeps trailing spaces, which widen the gap on purpose.
    return fontMetrics().horizontalAdvance(shown);
}

int TPictureButton::captionLeft() const {
    return (width() - (captionWidth() + kSpacing + picture_.width())) / 2;
}

int TPictureButton::pictureLeft() const { return captionLeft() + captionWidth() + kSpacing; }

void TPictureButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    option.icon = QIcon();
    painter.drawControl(QStyle::CE_PushButton, option);

    const int shift = isDown() ? 1 : 0;
    const int left = captionLeft() + shift;
    QRect textRect(left, shift, captionWidth(), height());
    painter.drawItemText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, palette(), isEnabled(),
                         text(), QPalette::ButtonText);
    const QIcon::Mode mode = isEnabled() ? QIcon::Normal : QIcon::Disabled;
    const QPixmap shown = QIcon(picture_).pixmap(picture_.size(), devicePixelRatio(), mode);
    painter.drawPixmap(pictureLeft() + shift, (height() - picture_.height()) / 2 + shift, shown);
}

}  // namespace window
