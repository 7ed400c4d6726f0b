// The main window's Qt face: start button, fault display, erase button,
// identification fields, help-text area, menus and the two timers, drawn from
// the form's logic (window/form_logic.h), which owns the handlers. Controls
// are public members under their own names so that the start-up sequence and
// the tests reach them as the window's parts.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include <QAction>
#include <QGroupBox>
#include <QMainWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include "protocol/pump_protocol.h"
#include "window/form_face.h"
#include "window/form_logic.h"
#include "window/port_component.h"
#include "window/qt/caption_label.h"
#include "window/qt/eraser_button.h"
#include "window/qt/system_opener.h"

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

class TForm1 : public QMainWindow, private FormFace {
    Q_OBJECT
public:
    // Builds the window with every control and its stored properties; the
    // creation handler FormCreate is run separately by the start-up.
    explicit TForm1(std::unique_ptr<PortComponent> port = MakeComPort());
    ~TForm1() override;

    // --- handlers: the form's own, and those that only move windows ---
    FormLogic& logic() { return logic_; }
    void FormCreate() { logic_.FormCreate(); }
    void OpenPortFromIni() { logic_.OpenPortFromIni(); }
    void LoadCaptions() { logic_.LoadCaptions(); }
    void About1Click() { logic_.About1Click(); }
    void GroupBox2Click();
    void Exit1Click();
    void About2Click();

    // --- controls ---
    QWidget* client;  // the client area below the menu bar
    QPushButton* Button3;
    QPushButton* Button4;
    QGroupBox* GroupBox1;
    TGroupBox* GroupBox2;
    TPictureButton* button1;
    TLabel* Label5;
    QPlainTextEdit* memo;  // hidden; the text of port.ini is in the form's state
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
    std::vector<QAction*> foundPortItems;  // below the four: a separator, then one item a port found
    QAction* CheckAdapterSeparator;        // ours, at the port menu's end: the adapter check on the chosen port
    QAction* CheckAdapter1;
    QMenu* Help1;
    QAction* About1;
    QAction* N1;
    QAction* About2;
    QMenu* Report1;  // ours: the report and the journal, captions from the message catalog
    QAction* MakeReport1;
    QAction* OpenJournal1;
    QAction* SaveLine1;  // the line since the last start, into a trace file
    QAction* ReportSettings1;

    // --- components ---
    PortComponent& com() { return *com_; }
    protocol::PumpProtocol& engine() { return engine_; }
    QTimer* timer1;
    QTimer* Timer2;

    QString ConnectionHelpText() const { return QString::fromStdString(logic_.State().connectionHelpText); }
    QString ConnectionHelpCaption() const { return QString::fromStdString(logic_.State().connectionHelpCaption); }

    static constexpr int kWidth = 610, kHeight = 464;
    static constexpr int kMinWidth = 610, kMaxWidth = 710, kMinHeight = 400, kMaxHeight = 650;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    void BuildMenu();
    void Centre();
    // Applies the outer size (first report only) and limits to a window inside `frame`.
    void FitToFrame(QMargins frame);

    // --- the face (form1_face.cpp) ---
    void Post(std::function<void()> effect) override;
    void Draw(FormPart part, int index) override;
    std::vector<std::string> Memo2Lines(const std::string& line) override;
    std::string Memo2Text() const override;
    void FocusMemo2() override;
    void ShowBox(const BoxRecord& box) override;
    bool EditFields(FieldsDialog& dialog) override;
    void OpenInSystem(const std::string& path, std::function<void(bool opened)> answered) override;
    // The form's caption of `target`: as stored until caption.txt replaces it.
    QString CaptionText(Caption target) const { return QString::fromStdString(logic_.State().CaptionOf(target)); }
    void DrawCaptions();
    void DrawPortItems();
    void ListFoundPorts();

    std::unique_ptr<PortComponent> com_;
    FormLogic logic_;
    protocol::PumpProtocol engine_;
    // Goes before the logic its answers reach.
    SystemOpener opener_;
    bool shownOnce_ = false;
    bool fittedToFrame_ = false;
};

// The program's two windows, one each for the whole run.
extern TForm1* Form1;
extern QWidget* About;

}  // namespace window
