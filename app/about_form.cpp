#include "app/about_form.h"

#include <algorithm>

#include <QCloseEvent>
#include <QPixmap>
#include <QScreen>

#include "app/about_lines.h"
#include "window/qt/form1.h"
#include "window/handler_guard.h"
#include "window/qt/pictures.h"

namespace app {

TAbout::TAbout()
    : QWidget(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("About"));
    setWindowTitle(QStringLiteral("About"));
    setFont(window::SansSerif(11, false));
    setFixedSize(kClientWidth, kClientHeight);

    Image1 = new QLabel(this);
    Image1->setGeometry(40, 8, 129, 129);
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1->setPixmap(QPixmap::fromImage(window::LogoImage()));
    Image1->setFocusPolicy(Qt::NoFocus);

    Label1 = new window::TLabel(this, QString::fromLatin1(AuthorshipLine()), true);
    Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label1->move(16, 144);
    Label2 = new window::TLabel(this, QString::fromLatin1(EditionLine()), true);
    Label2->move(8, 160);
    // Keep both lines on the dialog when the stand-in font runs wider.
    for (window::TLabel* label : {Label1, Label2})
        if (label->x() + label->width() > kClientWidth)
            label->move(std::max(0, (kClientWidth - label->width()) / 2), label->y());

    bt1 = new QPushButton(QStringLiteral("Close"), this);
    bt1->setGeometry(8, 184, 185, 33);
    // Enter presses the focused button as Space does; Escape stays unbound.
    bt1->setAutoDefault(true);
    connect(bt1, &QPushButton::clicked, this, window::Guarded([this] { bt1Click(); }));
    setFocusProxy(bt1);
}

void TAbout::bt1Click() { close(); }

void TAbout::FormClose() {
    if (window::Form1) window::Form1->show();
}

void TAbout::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    bt1->setFocus();
    if (shownOnce_) return;
    shownOnce_ = true;
    // Centred only at its first showing; later showings keep the last place.
    if (const QScreen* s = screen()) {
        const QRect area = s->availableGeometry();
        move(area.center().x() - width() / 2, area.center().y() - height() / 2);
    }
}

void TAbout::closeEvent(QCloseEvent* event) {
    try {
        FormClose();
    } catch (...) {
        window::PresentEscapedError();
    }
    event->accept();
}

}  // namespace app
