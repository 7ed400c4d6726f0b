// Push button with a small picture to the right of its caption, 4 pixels
// apart, the pair centred on the button; a greyed copy of the picture is
// drawn while the button is disabled.
#pragma once

#include <QPixmap>
#include <QPushButton>

namespace window {

class TPictureButton : public QPushButton {
    Q_OBJECT
public:
    TPictureButton(QWidget* parent, const QString& caption, const QPixmap& picture);

    static constexpr int kSpacing = 4;
    // Left edges of the caption and the picture as drawn at the present size.
    int captionLeft() const;
    int pictureLeft() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int captionWidth() const;

    QPixmap picture_;
};

}  // namespace window
