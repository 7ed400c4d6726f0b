#include "window/qt/caption_label.h"

#include <QEvent>
#include <QPainter>

namespace window {

TLabel::TLabel(QWidget* parent, const QString& caption, bool autoSize)
    : QFrame(parent), caption_(caption), autoSize_(autoSize) {
    setFocusPolicy(Qt::NoFocus);
    fitToText();
}

void TLabel::setCaption(const QString& caption) {
    caption_ = caption;
    fitToText();
    update();
}

QString TLabel::shownText() const {
    QString shown;
    for (int i = 0; i < caption_.size(); ++i) {
        if (caption_[i] == QLatin1Char('&')) {
            if (i + 1 < caption_.size()) shown += caption_[++i];
            continue;
        }
        shown += caption_[i];
    }
    return shown;
}

void TLabel::setAlignment(Qt::Alignment alignment) {
    alignment_ = alignment;
    update();
}

void TLabel::fitToText() {
    if (!autoSize_) return;
    const QFontMetrics fm(font());
    const int frame = 2 * frameWidth();
    resize(fm.horizontalAdvance(shownText()) + frame, fm.height() + frame);
}

void TLabel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) fitToText();
    QFrame::changeEvent(event);
}

void TLabel::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.setClipRect(contentsRect());
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(contentsRect(), static_cast<int>(alignment_) | Qt::TextShowMnemonic | Qt::TextSingleLine,
                     caption_);
}

}  // namespace window
