// The program started as a whole in a working folder: its windows, the About
// dialog, a diagnosis against the simulated pump, and the way out.
#include <QApplication>
#include <QKeyEvent>
#include <QTimer>

#include "app/about_form.h"
#include "app/error_presentation.h"
#include "app/startup.h"
#include "gui_fixture.h"
#include "serial/com_port.h"
#include "window/qt/form1.h"
#include "window/qt/memo_text.h"

using namespace testing_support;
using namespace std::chrono_literals;
using window::Form1;

namespace {

class StartupTest : public GuiTest {
protected:
    void TearDown() override {
        app::DestroyWindows();
        GuiTest::TearDown();
    }
    void CopyData(const std::string& name) { WriteBytes(name, ReadBytes(std::string(PD_DATA_DIR "/") + name)); }
    app::TAbout* AboutForm() const { return static_cast<app::TAbout*>(window::About); }
    bool NoFaultButton() const {
        for (QPushButton* b : Form1->faultButtons)
            if (!b->isHidden()) return false;
        return true;
    }
};

TEST_F(StartupTest, EverythingPresentGivesBothWindowsWithTheCaptions) {
    CopyData("caption.txt");
    WriteBytes("port.ini", "SIM");
    app::CreateWindows();
    EXPECT_TRUE(boxes.empty()) << boxes[0].text;
    EXPECT_TRUE(Form1->isVisible());
    EXPECT_TRUE(window::About->isVisible());
    EXPECT_TRUE(Form1->com().Connected());
    EXPECT_EQ(Form1->Exit1->text(), "Выход");
    EXPECT_EQ(Form1->Label5->caption(), "Диагностика VR - VP насосов");  // line 11, also the title
    EXPECT_EQ(Form1->windowTitle(), Form1->Label5->caption());
    EXPECT_EQ(window::MemoText(Form1->Memo2), "");
    EXPECT_TRUE(Form1->Button4->isVisible());
    EXPECT_FALSE(Form1->Button4->isEnabled());
    EXPECT_FALSE(Form1->button1->isEnabled());
    EXPECT_TRUE(NoFaultButton());
    EXPECT_EQ(Form1->engine().State().SyncHistory.size(), 3u);
    // Centred at the first showing.
    const QRect screen = Form1->screen()->availableGeometry();
    EXPECT_NEAR(Form1->frameGeometry().center().x(), screen.center().x(), 2);
    EXPECT_EQ(AboutForm()->size(), QSize(202, 226));
}

TEST_F(StartupTest, Com2WithoutTheDeviceIsCheckedAndReported) {
    CopyData("caption.txt");
    WriteBytes("port.ini", "Com2");
    app::CreateWindows();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text.rfind("Unable to open com port", 0), 0u);
    EXPECT_EQ(boxes[0].title, app::ApplicationTitle());
    EXPECT_TRUE(Form1->Com21->isChecked());
    EXPECT_FALSE(Form1->com().Connected());
    // Creation stopped at the port: stored captions, Button4 hidden.
    EXPECT_EQ(Form1->Button3->text(), "Начать коммуникацию");
    EXPECT_TRUE(Form1->Button4->isHidden());
    EXPECT_TRUE(Form1->isVisible());
    EXPECT_TRUE(window::About->isVisible());
}

TEST_F(StartupTest, MissingPortIniIsReportedBeforeAnyWindow) {
    CopyData("caption.txt");
    bool windowVisibleAtBox = true;
    window::ReplaceBoxHook([&](const window::BoxRecord& box) {
        boxes.push_back(box);
        windowVisibleAtBox = Form1 && Form1->isVisible();
    });
    app::CreateWindows();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Cannot open file port.ini.");
    EXPECT_FALSE(windowVisibleAtBox);
    EXPECT_EQ(Form1->windowTitle(), "Диагностика VR - VP насосов");
    EXPECT_EQ(Form1->Button3->text(), "Начать коммуникацию");
    EXPECT_TRUE(Form1->Button4->isHidden());
    EXPECT_FALSE(Form1->Com11->isChecked() || Form1->Com21->isChecked() || Form1->com31->isChecked() ||
                 Form1->Com41->isChecked());
    EXPECT_EQ(Form1->logic().State().memo, "memo");
    EXPECT_EQ(Form1->engine().State().SyncHistory.size(), 0u);
    EXPECT_TRUE(Form1->isVisible());
}

TEST_F(StartupTest, MissingCaptionFileLeavesThePortOpen) {
    WriteBytes("port.ini", "SIM");
    app::CreateWindows();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Cannot open file caption.txt.");
    EXPECT_TRUE(Form1->com().Connected());
    EXPECT_TRUE(Form1->Button4->isVisible());
    EXPECT_EQ(Form1->Button3->text(), "Начать коммуникацию");
    Form1->About1Click();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, "");
    EXPECT_EQ(boxes[1].title, "");
}

TEST_F(StartupTest, AboutHidesAndBringsBackTheMainWindowUnchanged) {
    CopyData("caption.txt");
    WriteBytes("port.ini", "SIM");
    app::CreateWindows();
    app::TAbout* about = AboutForm();
    // Closing the dialog right after start-up leaves the main window as it was.
    about->bt1->click();
    EXPECT_FALSE(about->isVisible());
    EXPECT_TRUE(Form1->isVisible());

    Form1->FaultButton(0x53)->show();
    Form1->Id_b->setCaption("0 460 404 969");
    Form1->Memo2->setPlainText("help text");
    about->move(about->pos() + QPoint(37, 21));
    const QPoint moved = about->pos();

    Form1->About2->trigger();
    EXPECT_FALSE(Form1->isVisible());
    EXPECT_TRUE(about->isVisible());
    EXPECT_EQ(about->pos(), moved);  // not centred again

    // Escape does nothing; Enter and Space on the button close the dialog.
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(about->bt1, &escape);
    EXPECT_TRUE(about->isVisible());
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(about->bt1, &enter);
    EXPECT_FALSE(about->isVisible());
    EXPECT_TRUE(Form1->isVisible());
    EXPECT_FALSE(Form1->FaultButton(0x53)->isHidden());
    EXPECT_EQ(Form1->Id_b->caption(), "0 460 404 969");
    EXPECT_EQ(window::MemoText(Form1->Memo2), "help text");
    EXPECT_TRUE(Form1->com().Connected());

    Form1->About2->trigger();
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
    QKeyEvent spaceUp(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier);
    QApplication::sendEvent(about->bt1, &space);
    QApplication::sendEvent(about->bt1, &spaceUp);
    EXPECT_FALSE(about->isVisible());
    EXPECT_TRUE(Form1->isVisible());
}

TEST_F(StartupTest, Exit1EndsTheProgramAndFreesThePort) {
    Pty pty;
    ASSERT_FALSE(pty.slave.empty());
    WriteBytes("port.ini", pty.slave);
    CopyData("caption.txt");
    app::CreateWindows();
    ASSERT_TRUE(Form1->com().Connected());
    bool quitRequested = false;
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, [&] { quitRequested = true; });
    int loopResult = -1;
    QTimer::singleShot(0, [] { Form1->Exit1->trigger(); });
    QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });  // only if Exit1 does nothing
    loopResult = QCoreApplication::exec();
    EXPECT_EQ(loopResult, 0);
    EXPECT_TRUE(quitRequested);
    EXPECT_FALSE(Form1->isVisible());
    app::DestroyWindows();
    serial::TComPort other;
    other.SetPort(pty.slave);
    EXPECT_NO_THROW(other.OpenPort());
    other.ClosePort();
}

TEST_F(StartupTest, WholeDiagnosisAgainstTheSimulatedPump) {
    CopyData("caption.txt");
    for (const char* code : {"53", "5A"}) CopyData(std::string(code) + ".txt");
    WriteBytes("port.ini", "SIM");
    app::CreateWindows();
    ASSERT_TRUE(boxes.empty()) << boxes[0].text;

    // One start: the line threads keep their timing on a busy machine, so a
    // derailment here is a fault, not bad luck.
    auto faultsShown = [] { return !Form1->FaultButton(0x53)->isHidden() && !Form1->FaultButton(0x5A)->isHidden(); };
    Form1->Button3->click();
    EXPECT_FALSE(Form1->Button3->isEnabled());
    ASSERT_TRUE(WaitFor([] { return Form1->Button4->isEnabled() || Form1->Button3->isEnabled(); }, 30s));
    ASSERT_TRUE(Form1->Button4->isEnabled()) << "the link dropped before identification";
    Form1->Button4->click();
    ASSERT_TRUE(WaitFor([&] { return faultsShown() || Form1->Button3->isEnabled(); }, 30s));
    ASSERT_TRUE(faultsShown()) << "the link dropped while the faults were read";
    EXPECT_FALSE(Form1->Id_b->caption().isEmpty());
    EXPECT_FALSE(Form1->Or_name->caption().isEmpty());
    EXPECT_FALSE(Form1->S_n->caption().isEmpty());
    EXPECT_FALSE(Form1->Id->caption().isEmpty());
    EXPECT_EQ(window::MemoText(Form1->Memo2), "Проверка Ошибок");
    ASSERT_TRUE(WaitFor([] { return !Form1->FaultButton(0x5A)->toolTip().isEmpty(); }, 30s));
    EXPECT_EQ(Form1->FaultButton(0x53)->toolTip(), "Сетчик ошибок 2");
    EXPECT_EQ(Form1->FaultButton(0x5A)->toolTip(), "Сетчик ошибок 17");
    EXPECT_TRUE(Form1->FaultButton(0x50)->isHidden());
    EXPECT_TRUE(Form1->status->isHidden());

    Form1->FaultButton(0x5A)->click();
    EXPECT_TRUE(window::MemoText(Form1->Memo2).startsWith("Код неисправности 0x5A"));
    EXPECT_TRUE(boxes.empty());

    ASSERT_TRUE(Form1->button1->isEnabled());
    Form1->button1->click();
    EXPECT_TRUE(WaitFor([] { return Form1->FaultButton(0x53)->isHidden() && Form1->FaultButton(0x5A)->isHidden(); },
                        20s));
    // After a clear the group is empty until the next read: no status text either.
    EXPECT_TRUE(Form1->status->isHidden());
    EXPECT_TRUE(boxes.empty());
}

}  // namespace
