// The main window as built, its caption file, its help texts and its tab order.
#include <memory>

#include <QApplication>
#include <QFontInfo>
#include <QMenuBar>
#include <QMouseEvent>
#include <QWindow>
#include <QScrollBar>
#include <QTextCursor>

#include "app/error_presentation.h"
#include "core/text/cp1251.h"
#include "core/platform/exception.h"
#include "gui_fixture.h"
#include "window/qt/form1.h"
#include "window/qt/memo_text.h"

using namespace testing_support;
using window::TForm1;

namespace {

class CaptionTest : public FormTest {
protected:
    void LoadCaptions(const std::string& bytes) {
        WriteBytes("caption.txt", bytes);
        form->LoadCaptions();
    }
};

const char* const kCaptions16 =
    "Exit\r\nPorts\r\nHelp\r\nWiring\r\nConnect it\r\nHow to\r\n Faults \r\nStart\r\nRead\r\nErase     \r\n"
    "None\r\nPump tool\r\nBosch\r\nId\r\nOriginal\r\nSerial\r\n";

TEST_F(FormTest, BuiltWindowHasTheStoredLayoutAndState) {
    struct Place {
        QWidget* w;
        QRect geometry;
        int pixelSize;
        bool bold;
    };
    const Place places[] = {
        {form->Button3, {332, 24, 257, 33}, 13, true},   {form->Button4, {332, 64, 257, 33}, 11, true},
        {form->GroupBox1, {332, 104, 257, 113}, 11, false}, {form->GroupBox2, {12, 16, 313, 97}, 13, true},
        {form->button1, {12, 128, 313, 49}, 16, true},   {form->memo, {48, 296, 449, 25}, 11, false},
        {form->Memo2, {12, 224, 577, 177}, 11, false},   {form->status, {24, 40, 265, 20}, 13, true},
        {form->Id_b, {8, 24, 113, 17}, 11, false},       {form->S_n, {144, 24, 105, 17}, 11, false},
        {form->Id, {144, 72, 105, 17}, 11, false},       {form->Or_name, {8, 72, 113, 17}, 11, false},
    };
    for (const Place& p : places) {
        SCOPED_TRACE(p.w->metaObject()->className());
        EXPECT_EQ(p.w->geometry(), p.geometry);
        EXPECT_EQ(p.w->font().pixelSize(), p.pixelSize);
        EXPECT_EQ(p.w->font().bold(), p.bold);
    }
    EXPECT_EQ(form->Label5->pos(), QPoint(20, 187));
    EXPECT_EQ(form->Label5->font().pixelSize(), 19);
    EXPECT_EQ(form->size(), QSize(610, 464));
    EXPECT_EQ(form->minimumSize(), QSize(610, 400));
    EXPECT_EQ(form->maximumSize(), QSize(710, 650));

    // "MS Sans Serif" is not installed here: a font with Cyrillic glyphs stands in.
    EXPECT_TRUE(QFontMetrics(form->font()).inFont(QChar(0x0416)));

    EXPECT_EQ(form->windowTitle(), "Диагностика VR - VP насосов");
    EXPECT_EQ(form->GroupBox2->title(), " Ошибки ");
    EXPECT_EQ(form->button1->text(), "Стереть ошибки     ");
    EXPECT_EQ(form->status->caption(), "Ошибок не обнаружено");
    EXPECT_EQ(form->logic().State().memo, "memo");
    EXPECT_TRUE(form->Button3->isEnabled());
    EXPECT_TRUE(form->Button4->isHidden());
    EXPECT_FALSE(form->Button4->isEnabled());
    EXPECT_FALSE(form->button1->isEnabled());
    EXPECT_TRUE(form->memo->isHidden());
    EXPECT_EQ(form->Memo2->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_FALSE(form->timer1->isActive());
    EXPECT_EQ(form->timer1->interval(), 1000);
    EXPECT_FALSE(form->Timer2->isActive());
    EXPECT_EQ(form->Timer2->interval(), 50);

    const int tops[2] = {24, 56};
    for (int code = 0x50; code <= 0x5E; ++code) {
        QPushButton* b = form->FaultButton(code);
        const int row = code < 0x58 ? 0 : 1;
        const int left = row == 0 ? 32 + 32 * (code - 0x50) : 48 + 32 * (code - 0x58);
        EXPECT_EQ(b->geometry(), QRect(left, tops[row], 25, 25)) << code;
        EXPECT_EQ(b->text(), QString::number(code, 16)) << code;  // "5a", lower case
        EXPECT_TRUE(b->isHidden());
        EXPECT_EQ(b->cursor().shape(), Qt::PointingHandCursor);
        EXPECT_EQ(b->parentWidget(), form->GroupBox2);
    }

    // Exit1 is a command on the bar itself; the port items carry check marks.
    EXPECT_EQ(form->Exit1->menu(), nullptr);
    EXPECT_TRUE(form->MainMenu1->actions().contains(form->Exit1));
    for (QAction* item : {form->Com11, form->Com21, form->com31, form->Com41}) {
        EXPECT_TRUE(item->isCheckable());
        EXPECT_FALSE(item->isChecked());
    }
    EXPECT_TRUE(form->N1->isSeparator());
    EXPECT_EQ(form->About2->text(), "About");
}

TEST_F(FormTest, ControlsStayInPlaceWithinTheSizeLimits) {
    form->show();
    // Limits of the outer size, frame included where the platform draws one.
    EXPECT_EQ(form->frameGeometry().size(), QSize(610, 464));
    form->resize(2000, 2000);
    EXPECT_EQ(form->frameGeometry().size(), QSize(710, 650));
    form->resize(100, 100);
    EXPECT_EQ(form->frameGeometry().size(), QSize(610, 400));
    EXPECT_EQ(form->Memo2->geometry(), QRect(12, 224, 577, 177));
    EXPECT_EQ(form->Button3->geometry(), QRect(332, 24, 257, 33));
}

TEST_F(FormTest, TabVisitsTheFocusableControlsInTheirOrder) {
    form->show();
    form->Button4->setVisible(true);
    form->Button4->setEnabled(true);
    form->button1->setEnabled(true);
    for (QPushButton* b : form->faultButtons) b->setVisible(true);
    QApplication::setActiveWindow(form.get());
    form->Button3->setFocus();
    std::vector<QString> visited;
    for (int i = 0; i < 19; ++i) {
        QWidget* w = QApplication::focusWidget();
        ASSERT_NE(w, nullptr);
        visited.push_back(w == form->Button3 ? "Button3" : w == form->Button4 ? "Button4" : w == form->button1 ? "button1"
                          : w == form->Memo2 ? "Memo2" : w->objectName());
        QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
        QApplication::sendEvent(w, &tab);
    }
    const std::vector<QString> expected = {"Button3", "Button4", "t50", "t51", "t53", "t52", "t5a", "t59",  "t57", "t58",
                                           "t5b",     "t55",     "t56", "t54", "t5c", "t5d", "t5e", "button1", "Memo2"};
    EXPECT_EQ(visited, expected);
}

// ------------------------------------------------------------ caption file

TEST_F(CaptionTest, SixteenCaptionLinesGoToTheirTargets) {
    LoadCaptions(kCaptions16);
    EXPECT_EQ(form->Exit1->text(), "Exit");
    EXPECT_EQ(form->N2->title(), "Ports");
    EXPECT_EQ(form->Help1->title(), "Help");
    EXPECT_EQ(form->About1->text(), "Wiring");
    EXPECT_EQ(form->ConnectionHelpText(), "Connect it");
    EXPECT_EQ(form->ConnectionHelpCaption(), "How to");
    EXPECT_EQ(form->GroupBox2->title(), " Faults ");
    EXPECT_EQ(form->Button3->text(), "Start");
    EXPECT_EQ(form->Button4->text(), "Read");
    EXPECT_EQ(form->button1->text(), "Erase     ");
    EXPECT_EQ(form->status->caption(), "None");
    EXPECT_EQ(form->windowTitle(), "Pump tool");
    EXPECT_EQ(form->Label5->caption(), "Pump tool");
    EXPECT_EQ(form->Label2->caption(), "Bosch");
    EXPECT_EQ(form->Label3->caption(), "Id");
    EXPECT_EQ(form->Label1->caption(), "Original");
    EXPECT_EQ(form->Label4->caption(), "Serial");
    // The port items, the separator and About2 take nothing from the file.
    EXPECT_EQ(form->Com21->text(), "Com2");
    EXPECT_EQ(form->About2->text(), "About");

    form->About1Click();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Connect it");
    EXPECT_EQ(boxes[0].title, "How to");
    EXPECT_EQ(boxes[0].icon, window::BoxIcon::Information);
}

TEST_F(CaptionTest, ProgramsOwnCaptionFilesFitTheHelpArea) {
    for (const char* file : {PD_DATA_DIR "/caption.txt", PD_DATA_DIR "/en/caption.txt"}) {
        SCOPED_TRACE(file);
        form->Memo2->setPlainText(window::ReadMemoFile(file));
        const QStringList lines = window::VisualLines(form->Memo2, 100);
        EXPECT_EQ(lines.size(), 17) << lines.join("|").toStdString();  // 16 lines and the empty one after the last line end
    }
    LoadCaptions(ReadBytes(PD_DATA_DIR "/caption.txt"));
    EXPECT_EQ(form->Button3->text(), "Начать коммуникацию");
    EXPECT_EQ(form->windowTitle(), "Диагностика VR - VP насосов");
    EXPECT_TRUE(form->ConnectionHelpText().contains("адаптер"));
}

TEST_F(CaptionTest, LineTooWideForTheAreaShiftsEveryLaterLine) {
    std::string wide;
    for (int i = 0; i < 20; ++i) wide += "word" + std::to_string(i) + " ";
    std::string file = "0\r\n1\r\n2\r\n3\r\n" + wide + "\r\n5\r\n6\r\n7\r\n8\r\n9\r\n10\r\n11\r\n12\r\n13\r\n14\r\n15\r\n";
    LoadCaptions(file);
    EXPECT_TRUE(form->ConnectionHelpText().startsWith("word0 "));
    EXPECT_FALSE(form->ConnectionHelpText().contains("word19"));
    EXPECT_TRUE(form->ConnectionHelpCaption().endsWith("word19 "));
    EXPECT_EQ((form->ConnectionHelpText() + form->ConnectionHelpCaption()).trimmed(), QString::fromStdString(wide).trimmed());
    EXPECT_EQ(form->GroupBox2->title(), "5");
    EXPECT_EQ(form->Button3->text(), "6");
    EXPECT_EQ(form->Label4->caption(), "14");
}

TEST_F(CaptionTest, ShortEmptyAndOddCaptionFiles) {
    LoadCaptions("A\r\nB\r\nC");
    EXPECT_EQ(form->Exit1->text(), "A");
    EXPECT_EQ(form->Help1->title(), "C");
    EXPECT_EQ(form->About1->text(), "");
    EXPECT_EQ(form->Button3->text(), "");
    EXPECT_EQ(form->windowTitle(), "");
    EXPECT_EQ(form->ConnectionHelpText(), "");

    LoadCaptions("");
    EXPECT_EQ(form->Exit1->text(), "");
    EXPECT_EQ(form->Label4->caption(), "");

    // CR alone ends a line as CR LF does; a zero byte ends the text.
    LoadCaptions(std::string("a\rb\rc\rd\re\rf\rg\rh\ri\rj\rk\rl\rm\rn\ro\rp\0q", 33));
    EXPECT_EQ(form->Label4->caption(), "p");
    EXPECT_EQ(form->Button3->text(), "h");

    // A byte-order mark is three characters of the code page, not a mark.
    LoadCaptions("\xEF\xBB\xBFX\r\n");
    EXPECT_EQ(form->Exit1->text(), QString::fromStdString(core::Cp1251ToUtf8("\xEF\xBB\xBFX")));
}

TEST_F(CaptionTest, MissingOrHugeCaptionFileKeepsTheStoredCaptions) {
    EXPECT_THROW(form->LoadCaptions(), core::EFOpenError);
    WriteBytes("caption.txt", std::string(window::kMemoCapacity + 1, 'x'));
    try {
        form->LoadCaptions();
        FAIL() << "no error";
    } catch (const core::EInvalidOperation& e) {
        EXPECT_EQ(e.Message(), "Text exceeds memo capacity");
    }
    EXPECT_EQ(form->Button3->text(), "Начать коммуникацию");
    EXPECT_EQ(form->ConnectionHelpText(), "");
    form->About1Click();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "");
    EXPECT_EQ(boxes[0].title, "");
}

TEST_F(CaptionTest, OneLineMegabyteFilesAreReadInAMoment) {
    // Only the lines needed are laid out, not the whole paragraph: a line
    // without a space breaks anywhere, and each break looks to its end.
    const std::string word(1000 * 1000, 'x');
    const auto start = std::chrono::steady_clock::now();
    LoadCaptions(word);
    EXPECT_TRUE(form->Exit1->text().startsWith("xxx"));
    EXPECT_EQ(form->Label4->caption(), form->Exit1->text());
    WriteBytes("port.ini", word);
    try {
        form->OpenPortFromIni();
    } catch (const std::exception&) {  // no device of that name
    }
    EXPECT_EQ(form->com().Port(), word);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

// ------------------------------------------------------------ help texts

TEST_F(FormTest, FaultButtonShowsItsHelpTextAndMovesTheFocus) {
    form->show();
    QApplication::setActiveWindow(form.get());
    QPushButton* t5a = form->FaultButton(0x5A);
    t5a->show();
    Write1251("5A.txt", "Первая строка\nвторая\r\nтретья\rчетвёртая");
    t5a->click();
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(window::MemoText(form->Memo2), "Первая строка\nвторая\nтретья\nчетвёртая");
    EXPECT_TRUE(form->Memo2->hasFocus());
    EXPECT_EQ(form->Memo2->textCursor().position(), 0);

    // Unchanged file: the area is left as it is, caret included.
    QTextCursor cursor = form->Memo2->textCursor();
    cursor.setPosition(10);
    form->Memo2->setTextCursor(cursor);
    t5a->setFocus();
    t5a->click();
    EXPECT_EQ(form->Memo2->textCursor().position(), 10);

    // Changed file, and text typed by the user: both replaced at the next click.
    form->Memo2->insertPlainText("typed");
    t5a->click();
    EXPECT_EQ(window::MemoText(form->Memo2), "Первая строка\nвторая\nтретья\nчетвёртая");
    Write1251("5A.txt", "новое");
    t5a->click();
    EXPECT_EQ(window::MemoText(form->Memo2), "новое");
    EXPECT_EQ(ReadBytes("5A.txt"), core::Utf8ToCp1251("новое"));

    WriteBytes("5A.txt", "");
    t5a->click();
    EXPECT_EQ(window::MemoText(form->Memo2), "");
}

TEST_F(FormTest, MissingOrOversizedHelpFileIsReportedAndTheAreaKept) {
    form->show();
    QApplication::setActiveWindow(form.get());
    QPushButton* t5a = form->FaultButton(0x5A);
    t5a->show();
    form->Memo2->setPlainText("before");
    WriteBytes("5a.txt", "lower-case name");  // not the file of code 0x5A
    t5a->setFocus();
    t5a->click();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Cannot open file 5A.txt.");
    EXPECT_EQ(boxes[0].title, app::ApplicationTitle());
    EXPECT_EQ(boxes[0].icon, window::BoxIcon::Error);
    EXPECT_EQ(window::MemoText(form->Memo2), "before");
    EXPECT_TRUE(t5a->hasFocus());

    WriteBytes("5A.txt", std::string(window::kMemoCapacity + 10, 'y'));
    t5a->click();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, "Text exceeds memo capacity.");
    EXPECT_EQ(window::MemoText(form->Memo2), "before");

    // Binary content: shown up to its first zero byte, nothing else happens.
    WriteBytes("5A.txt", std::string("\x01\x02" "ab\xFF\0zz", 8));
    t5a->click();
    EXPECT_EQ(boxes.size(), 2u);
    EXPECT_EQ(window::MemoText(form->Memo2), QString::fromStdString(core::Cp1251ToUtf8("\x01\x02" "ab\xFF")));
}

class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

TEST_F(FormTest, ClickOnTheFaultGroupsEmptyAreaRepaintsT57) {
    form->show();
    QPushButton* t57 = form->FaultButton(0x57);
    t57->show();
    ASSERT_TRUE(WaitFor([&] { return form->windowHandle() && form->windowHandle()->isExposed(); }, std::chrono::seconds(5)));
    WaitFor([] { return false; }, std::chrono::milliseconds(50));  // first paint done
    int clicks = 0;
    QObject::connect(form->GroupBox2, &window::TGroupBox::Click, [&clicks] { ++clicks; });
    PaintCounter counter;
    t57->installEventFilter(&counter);
    const QPointF empty(6, 90);  // below the second row, inside the frame
    QMouseEvent press(QEvent::MouseButtonPress, empty, form->GroupBox2->mapToGlobal(empty), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, empty, form->GroupBox2->mapToGlobal(empty), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(form->GroupBox2, &press);
    QApplication::sendEvent(form->GroupBox2, &release);
    EXPECT_EQ(clicks, 1);
    EXPECT_GE(counter.paints, 1);
    EXPECT_TRUE(boxes.empty());
}

}  // namespace
