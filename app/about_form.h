// The About dialog: the logo, an authorship line, an edition line and a Close
// button. Shown without modality; closing it hides it and brings the main
// window back.
#pragma once

#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include "window/qt/caption_label.h"

namespace app {

class TAbout : public QWidget {
    Q_OBJECT
public:
    TAbout();

    void bt1Click();
    void FormClose();

    QLabel* Image1;
    window::TLabel* Label1;
    window::TLabel* Label2;
    QPushButton* bt1;

    static constexpr int kClientWidth = 202, kClientHeight = 226;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    bool shownOnce_ = false;
};

}  // namespace app
