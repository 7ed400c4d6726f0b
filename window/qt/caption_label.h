// A static text of the window: a label that sizes itself to its text, or a
// fixed-size text field with a frame. An ampersand marks the next character
// as the accelerator (drawn underlined), a doubled one shows one ampersand.
#pragma once

#include <QFrame>
#include <QString>

namespace window {

class TLabel : public QFrame {
    Q_OBJECT
public:
    // autoSize: the width and height follow the text, growing to the right of
    // the stored left edge; otherwise the size stays and the text is cut.
    TLabel(QWidget* parent, const QString& caption, bool autoSize);

    void setCaption(const QString& caption);
    const QString& caption() const { return caption_; }
    // The caption as shown: accelerator marks removed.
    QString shownText() const;
    void setAlignment(Qt::Alignment alignment);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void fitToText();

    QString caption_;
    bool autoSize_;
    Qt::Alignment alignment_ = Qt::AlignLeft | Qt::AlignTop;
};

}  // namespace window
