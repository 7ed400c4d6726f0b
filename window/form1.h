// The main window: start button, fault display, erase button, identification
// fields, help-text area, menus, the serial port and the two timers. Controls
// are public members under their own names so that the engine's effects, the
// start-up sequence and the tests reach them as the window's parts.
#pragma once

#include <array>
#include <memory>
#include <string>

#include <QAction>
#include <QGroupBox>
#include <QMainWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include "protocol/engine_view.h"
#include "protocol/pump_protocol.h"
#include "window/caption_label.h"
#include "window/eraser_button.h"
#include "window/port_component.h"

namespace window {

// Group frame whose own empty area reports clicks.
class TGroupBox : public QGroupBox {
    Q_OBJECT
public:
    using QGroupBox::QGroupBox;
signals:
    void Click();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool pressed_ = false;
};

// "MS Sans Serif" at a pixel size; an installed sans font with Cyrillic
// glyphs stands in for it where it is missing.
QFont SansSerif(int pixelSize, bool bold);

class TForm1 : public QMainWindow, public protocol::EngineView {
    Q_OBJECT
public:
    // Builds the window with every control and its stored properties; the
    // creation handler FormCreate is run separately by the start-up.
    explicit TForm1(std::unique_ptr<PortComponent> port = MakeComPort());
    ~TForm1() override;

    // --- handlers ---
    void FormCreate();
    void OpenPortFromIni();
    void LoadCaptions();
    void Button3Click();
    void Button4Click();
    void Button1Click();
    void GroupBox2Click();
    void Exit1Click();
    void About1Click();
    void About2Click();
    void Com11Click();
    void Com21Click();
    void com31Click();
    void Com41Click();
    void timer1Timer();
    void Timer2Timer();
    void t50Click();
    void t51Click();
    void t52Click();
    void t53Click();
    void t54Click();
    void t55Click();
    void t56Click();
    void t57Click();
    void t58Click();
    void t59Click();
    void t5aClick();
    void t5bClick();
    void t5cClick();
    void t5dClick();
    void t5eClick();
    // The fault button handlers' common work: help text of `code` into Memo2.
    void ShowHelpText(int code);

    // --- controls ---
    QWidget* client;  // the client area below the menu bar
    QPushButton* Button3;
    QPushButton* Button4;
    QGroupBox* GroupBox1;
    TGroupBox* GroupBox2;
    TPictureButton* button1;
    TLabel* Label5;
    QPlainTextEdit* memo;
    QPlainTextEdit* Memo2;
    TLabel* Label1;
    TLabel* Label2;
    TLabel* Label3;
    TLabel* Label4;
    TLabel* Id_b;
    TLabel* S_n;
    TLabel* Id;
    TLabel* Or_name;
    TLabel* status;
    std::array<QPushButton*, 15> faultButtons;  // t50 .. t5e
    QPushButton* FaultButton(int code) const { return faultButtons.at(static_cast<std::size_t>(code - 0x50)); }

    // --- menu ---
    QMenuBar* MainMenu1;
    QAction* Exit1;
    QMenu* N2;
    QAction* Com11;
    QAction* Com21;
    QAction* com31;
    QAction* Com41;
    QMenu* Help1;
    QAction* About1;
    QAction* N1;
    QAction* About2;

    // --- components ---
    PortComponent& com() { return *com_; }
    protocol::PumpProtocol& engine() { return engine_; }
    QTimer* timer1;
    QTimer* Timer2;

    QString ConnectionHelpText;
    QString ConnectionHelpCaption;

    static constexpr int kWidth = 610, kHeight = 464;
    static constexpr int kMinWidth = 610, kMaxWidth = 710, kMinHeight = 400, kMaxHeight = 650;

    // --- the engine's effects, applied on the GUI thread in order ---
    void SetFieldText(protocol::IdentField field, const std::string& text) override;
    void SetMemo2Text(const std::string& text) override;
    void SetControlEnabled(protocol::Control control, bool enabled) override;
    void SetFaultButtonVisible(int code, bool visible) override;
    void SetFaultButtonHint(int code, const std::string& hint) override;
    void SetStatusVisible(bool visible) override;
    void SetTimerEnabled(protocol::Timer timer, bool enabled) override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    void BuildMenu();
    void Centre();
    // Applies the outer size (first report only) and limits to a window inside `frame`.
    void FitToFrame(QMargins frame);
    void ChoosePort(QAction* item, const char* name);
    void CheckPortItem(QAction* item);
    template <class F>
    void Apply(F effect);

    std::unique_ptr<PortComponent> com_;
    protocol::PumpProtocol engine_;
    bool shownOnce_ = false;
    bool fittedToFrame_ = false;
};

// The program's two windows, one each for the whole run.
extern TForm1* Form1;
extern QWidget* About;

}  // namespace window
