#include "window/qt/form1.h"

#include <QFontDatabase>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <QShowEvent>

#include "window/handler_guard.h"
#include "window/qt/pictures.h"
#include "window/qt/window_frame.h"

namespace window {

TForm1* Form1 = nullptr;
QWidget* About = nullptr;

namespace {
TLabel* IdentField(QWidget* parent, int left, int top, int width) {
    auto* field = new TLabel(parent, QString(), false);
    field->setGeometry(left, top, width, 17);
    field->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    field->setLineWidth(1);
    field->setAlignment(Qt::AlignCenter);
    field->setAutoFillBackground(true);
    QPalette pal = field->palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Light));  // button highlight
    field->setPalette(pal);
    return field;
}

TLabel* CaptionLabel(QWidget* parent, const QString& text, int left, int top) {
    auto* label = new TLabel(parent, text, true);
    label->move(left, top);
    return label;
}
}  // namespace

QFont SansSerif(int pixelSize, bool bold) {
    // Resolved once: asking for a family that is not installed makes every
    // font lookup search for a substitute again.
    static const QString family = [] {
        for (const char* name : {"MS Sans Serif", "DejaVu Sans", "Liberation Sans", "Noto Sans"})
            if (QFontDatabase::hasFamily(QString::fromLatin1(name))) return QString::fromLatin1(name);
        return QStringLiteral("Sans Serif");
    }();
    QFont font(family);
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

void TGroupBox::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    QGroupBox::mousePressEvent(event);
}

void TGroupBox::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    pressed_ = false;
    QGroupBox::mouseReleaseEvent(event);
    if (click) emit Click();
}

TForm1::TForm1(std::unique_ptr<PortComponent> port)
    : com_(std::move(port)), logic_(*this, *com_), engine_(logic_.LinePort(), logic_) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(CaptionText(Caption::Title));
    setFont(SansSerif(11, false));
    BuildMenu();
    BuildControls();
    resize(kWidth, kHeight);
    setMinimumSize(kMinWidth, kMinHeight);
    setMaximumSize(kMaxWidth, kMaxHeight);
    // The sizes are those of the outer frame, which is known only later.
    OnFrameKnown(this, [this](QMargins frame) { FitToFrame(frame); });
    KeepEmptyTitleEmpty(this);

    timer1 = new QTimer(this);
    timer1->setInterval(TimerIntervalMs(protocol::Timer::Timer1));
    Timer2 = new QTimer(this);
    Timer2->setInterval(TimerIntervalMs(protocol::Timer::Timer2));
    connect(timer1, &QTimer::timeout, this, Guarded([this] { logic_.timer1Timer(); }));
    connect(Timer2, &QTimer::timeout, this, Guarded([this] { logic_.Timer2Timer(); }));

    logic_.Attach(engine_);
}

TForm1::~TForm1() {
    // The line ends before this window, which the engine's effects reach, goes away.
    logic_.EndLine();
    if (Form1 == this) Form1 = nullptr;
}

void TForm1::BuildMenu() {
    MainMenu1 = menuBar();
    MainMenu1->setNativeMenuBar(false);
    Exit1 = MainMenu1->addAction(CaptionText(Caption::Exit1));
    N2 = MainMenu1->addMenu(CaptionText(Caption::N2));
    Com11 = N2->addAction(QString::fromLatin1(kPortItemNames[0]));
    Com21 = N2->addAction(QString::fromLatin1(kPortItemNames[1]));
    com31 = N2->addAction(QString::fromLatin1(kPortItemNames[2]));
    Com41 = N2->addAction(QString::fromLatin1(kPortItemNames[3]));
    for (QAction* item : {Com11, Com21, com31, Com41}) item->setCheckable(true);
    CheckAdapterSeparator = N2->addSeparator();
    CheckAdapter1 = N2->addAction(QString::fromStdString(FormLogic::CheckAdapterMenuText()));
    // The ports the computer has are looked for each time the menu opens.
    connect(N2, &QMenu::aboutToShow, this, Guarded([this] { ListFoundPorts(); }));
    Help1 = MainMenu1->addMenu(CaptionText(Caption::Help1));
    About1 = Help1->addAction(CaptionText(Caption::About1));
    N1 = Help1->addSeparator();
    About2 = Help1->addAction(QStringLiteral("About"));
    const FormLogic::ReportMenuCaptions report = FormLogic::ReportMenuTexts();
    Report1 = MainMenu1->addMenu(QString::fromStdString(report.menu));
    MakeReport1 = Report1->addAction(QString::fromStdString(report.makeReport));
    OpenJournal1 = Report1->addAction(QString::fromStdString(report.openJournalFolder));
    SaveLine1 = Report1->addAction(QString::fromStdString(report.saveLine));
    Report1->addSeparator();
    ReportSettings1 = Report1->addAction(QString::fromStdString(report.settings));

    connect(Exit1, &QAction::triggered, this, Guarded([this] { Exit1Click(); }));
    connect(Com11, &QAction::triggered, this, Guarded([this] { logic_.Com11Click(); }));
    connect(Com21, &QAction::triggered, this, Guarded([this] { logic_.Com21Click(); }));
    connect(com31, &QAction::triggered, this, Guarded([this] { logic_.com31Click(); }));
    connect(Com41, &QAction::triggered, this, Guarded([this] { logic_.Com41Click(); }));
    connect(CheckAdapter1, &QAction::triggered, this, Guarded([this] { logic_.CheckAdapterClick(); }));
    connect(About1, &QAction::triggered, this, Guarded([this] { logic_.About1Click(); }));
    connect(About2, &QAction::triggered, this, Guarded([this] { About2Click(); }));
    connect(MakeReport1, &QAction::triggered, this, Guarded([this] { logic_.MakeReportClick(); }));
    connect(OpenJournal1, &QAction::triggered, this, Guarded([this] { logic_.OpenJournalFolderClick(); }));
    connect(SaveLine1, &QAction::triggered, this, Guarded([this] { logic_.SaveLineClick(); }));
    connect(ReportSettings1, &QAction::triggered, this, Guarded([this] { logic_.ReportSettingsClick(); }));
}

void TForm1::BuildControls() {
    client = new QWidget(this);
    setCentralWidget(client);

    Button3 = new QPushButton(CaptionText(Caption::Button3), client);
    Button3->setGeometry(332, 24, 257, 33);
    Button3->setFont(SansSerif(13, true));

    Button4 = new QPushButton(CaptionText(Caption::Button4), client);
    Button4->setGeometry(332, 64, 257, 33);
    Button4->setFont(SansSerif(11, true));
    Button4->setEnabled(false);
    Button4->setVisible(false);

    GroupBox1 = new QGroupBox(client);
    GroupBox1->setGeometry(332, 104, 257, 113);
    GroupBox1->setFocusPolicy(Qt::NoFocus);
    Label2 = CaptionLabel(GroupBox1, CaptionText(Caption::Label2), 20, 8);
    Label3 = CaptionLabel(GroupBox1, CaptionText(Caption::Label3), 176, 8);
    Label1 = CaptionLabel(GroupBox1, CaptionText(Caption::Label1), 10, 48);
    Label4 = CaptionLabel(GroupBox1, CaptionText(Caption::Label4), 154, 48);
    Id_b = IdentField(GroupBox1, 8, 24, 113);
    S_n = IdentField(GroupBox1, 144, 24, 105);
    Id = IdentField(GroupBox1, 144, 72, 105);
    Or_name = IdentField(GroupBox1, 8, 72, 113);

    GroupBox2 = new TGroupBox(CaptionText(Caption::GroupBox2), client);
    GroupBox2->setGeometry(12, 16, 313, 97);
    GroupBox2->setFont(SansSerif(13, true));
    GroupBox2->setFocusPolicy(Qt::NoFocus);
    connect(GroupBox2, &TGroupBox::Click, this, Guarded([this] { GroupBox2Click(); }));

    status = new TLabel(GroupBox2, CaptionText(Caption::status), false);
    status->setGeometry(24, 40, 265, 20);
    status->setFrameStyle(QFrame::Box | QFrame::Plain);
    status->setLineWidth(1);
    status->setAlignment(Qt::AlignCenter);

    for (const FaultButtonPlace& place : kFaultButtonPlaces) {
        const int index = place.code - 0x50;
        auto* button = new QPushButton(QString::number(place.code, 16), GroupBox2);
        button->setObjectName(QStringLiteral("t") + QString::number(place.code, 16));
        button->setGeometry(place.left, place.top, 25, 25);
        button->setFont(SansSerif(13, true));
        button->setCursor(Qt::PointingHandCursor);
        button->setVisible(false);
        const FormHandler handler = FaultClickHandler(place.code);
        connect(button, &QPushButton::clicked, this, Guarded([this, handler] { (logic_.*handler)(); }));
        faultButtons[static_cast<std::size_t>(index)] = button;
    }

    button1 = new TPictureButton(client, CaptionText(Caption::button1), EraserPicture());
    button1->setGeometry(12, 128, 313, 49);
    button1->setFont(SansSerif(16, true));
    button1->setEnabled(false);

    Label5 = new TLabel(client, CaptionText(Caption::Label5), true);
    Label5->setFont(SansSerif(19, false));
    Label5->move(20, 187);

    memo = new QPlainTextEdit(QStringLiteral("memo"), client);
    memo->setGeometry(48, 296, 449, 25);
    memo->setVisible(false);

    Memo2 = new QPlainTextEdit(client);
    Memo2->setGeometry(12, 224, 577, 177);
    for (QPlainTextEdit* area : {memo, Memo2}) {
        area->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        area->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        area->setTabChangesFocus(true);
    }

    connect(Button3, &QPushButton::clicked, this, Guarded([this] { logic_.Button3Click(); }));
    connect(Button4, &QPushButton::clicked, this, Guarded([this] { logic_.Button4Click(); }));
    connect(button1, &QPushButton::clicked, this, Guarded([this] { logic_.Button1Click(); }));

    // Tab order: Button3, Button4, the fault buttons by their own order,
    // button1, memo, Memo2.
    std::array<QWidget*, 15> byTabOrder{};
    for (const FaultButtonPlace& place : kFaultButtonPlaces)
        byTabOrder[static_cast<std::size_t>(place.tabOrder - 1)] = faultButtons[static_cast<std::size_t>(place.code - 0x50)];
    QWidget* previous = Button4;
    setTabOrder(Button3, Button4);
    for (QWidget* w : byTabOrder) {
        setTabOrder(previous, w);
        previous = w;
    }
    setTabOrder(previous, button1);
    setTabOrder(button1, memo);
    setTabOrder(memo, Memo2);
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shownOnce_) return;
    shownOnce_ = true;
    Centre();
}

void TForm1::Centre() {
    if (const QScreen* screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        move(area.center().x() - kWidth / 2, area.center().y() - kHeight / 2);
    }
}

void TForm1::FitToFrame(QMargins frame) {
    const QSize extra(frame.left() + frame.right(), frame.top() + frame.bottom());
    setMinimumSize(QSize(kMinWidth, kMinHeight) - extra);
    setMaximumSize(QSize(kMaxWidth, kMaxHeight) - extra);
    // Later reports (maximising, a new frame style) keep the size the user chose.
    if (fittedToFrame_) return;
    fittedToFrame_ = true;
    resize(QSize(kWidth, kHeight) - extra);
    Centre();
}

void TForm1::closeEvent(QCloseEvent* event) {
    event->accept();
    // The main window's closing ends the program, also while About is shown.
    QCoreApplication::quit();
}

// ---------------------------------------------------------------- menu

void TForm1::Exit1Click() { close(); }

void TForm1::About2Click() {
    hide();
    if (About) {
        About->show();
        About->raise();
        About->activateWindow();
    }
}

void TForm1::GroupBox2Click() { FaultButton(0x57)->repaint(); }

}  // namespace window
