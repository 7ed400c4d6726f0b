// How errors escaping a handler reach the user.
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "app/error_presentation.h"
#include "app/startup.h"
#include "window/qt/form1.h"
#include "core/platform/exception.h"
#include "serial/component.h"
#include "gui_fixture.h"

using namespace testing_support;
using namespace std::chrono_literals;

namespace {

TEST(ApplicationTitle, CutAtTheFirstDotAndLowerCasedAfterTheFirstCharacter) {
    EXPECT_EQ(app::ApplicationTitleFromPath("/opt/tools/PUMP.TOOL.EXE"), "Pump");
    EXPECT_EQ(app::ApplicationTitleFromPath("PUMPTOOL.EXE"), "Pumptool");
    EXPECT_EQ(app::ApplicationTitleFromPath("/usr/bin/pumpdiag"), "pumpdiag");  // the first stays as it is
    EXPECT_EQ(app::ApplicationTitleFromPath("/x/ДИАГ.bin"), "Диаг");
    EXPECT_EQ(app::ApplicationTitleFromPath("/x/.hidden"), "");
}

TEST(ErrorText, PeriodOnlyAfterCharactersGreaterThanTheDot) {
    EXPECT_EQ(app::WithFinalPeriod("Cannot open file 50.txt"), "Cannot open file 50.txt.");
    EXPECT_EQ(app::WithFinalPeriod("Value 7"), "Value 7.");
    EXPECT_EQ(app::WithFinalPeriod("Why?"), "Why?.");
    EXPECT_EQ(app::WithFinalPeriod("Ошибка"), "Ошибка.");
    for (const char* kept : {"Done.", "Stop!", "code: 2)", "a,", "x-", "say \"", "trailing ", "tab\t", ""})
        EXPECT_EQ(app::WithFinalPeriod(kept), kept);
    EXPECT_EQ(app::LastResortText("std::runtime_error", "pumpdiag", 0x1234, ""),
              "Exception std::runtime_error in module pumpdiag at 00001234.\n");
    EXPECT_EQ(app::LastResortText("X", "m", 0xABCDEF12, "Bad!"), "Exception X in module m at ABCDEF12.\nBad!.");
    EXPECT_EQ(app::LastResortText("X", "m", 1, "Bad."), "Exception X in module m at 00000001.\nBad.");
    EXPECT_EQ(app::StartupFailureText(0x4A2B), "Runtime error 217 at 00004A2B");
}

class PresentationTest : public GuiTest {};

// Each escapes from a timer's handler, connected without any guard, so only
// the application object stands between it and the event loop.
void FireFromTimer(std::function<void()> handler) {
    auto* timer = new QTimer;
    timer->setSingleShot(true);
    bool fired = false;
    QObject::connect(timer, &QTimer::timeout, [&fired, handler] {
        fired = true;
        handler();
    });
    timer->start(0);
    WaitFor([&] { return fired; }, 2s);
    WaitFor([] { return false; }, 20ms);
    delete timer;
}

TEST_F(PresentationTest, EscapedErrorsAreShownAndTheLoopGoesOn) {
    FireFromTimer([] { throw core::EFOpenError("Cannot open file 50.txt"); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Cannot open file 50.txt.");
    EXPECT_EQ(boxes[0].title, app::ApplicationTitle());
    EXPECT_EQ(boxes[0].icon, window::BoxIcon::Error);

    FireFromTimer([] { throw core::EAbort("silent"); });
    EXPECT_EQ(boxes.size(), 1u);

    FireFromTimer([] { throw std::runtime_error("not ours"); });
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].title, "Application Error");
    EXPECT_EQ(boxes[1].text.rfind("Exception std::runtime_error in module ", 0), 0u) << boxes[1].text;
    EXPECT_EQ(boxes[1].text.back(), '\n');

    FireFromTimer([] { throw 42; });
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[2].text.rfind("Exception int in module ", 0), 0u) << boxes[2].text;

    bool stillRunning = false;
    FireFromTimer([&] { stillRunning = true; });
    EXPECT_TRUE(stillRunning);
}

TEST_F(PresentationTest, RealErrorBoxIsModalAndClosesWithOk) {
    window::ReplaceBoxHook({});
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QTimer::singleShot(50, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        box->button(QMessageBox::Ok)->click();
    });
    try {
        throw core::EFOpenError("Cannot open file 5A.txt");
    } catch (...) {
        app::HandleUncaughtError();
    }
    EXPECT_EQ(text, "Cannot open file 5A.txt.");
    EXPECT_EQ(title.toStdString(), app::ApplicationTitle());
    EXPECT_EQ(icon, QMessageBox::Critical);
}

TEST_F(PresentationTest, BrokenCatalogStopsTheProgramBeforeItsWindows) {
    // The catalogs are looked up beside the running program.
    const std::filesystem::path exeDir = std::filesystem::canonical("/proc/self/exe").parent_path();
    const std::filesystem::path locale = exeDir / "locale";
    std::filesystem::create_directories(locale / "xx_XX" / "LC_MESSAGES");
    WriteBytes((locale / "xx_XX" / "LC_MESSAGES" / "default.mo").string(), std::string(64, '\x5A'));
    const char* oldLang = std::getenv("LANG");
    const std::string saved = oldLang ? oldLang : "";
    setenv("LANG", "xx_XX", 1);
    static char name[] = "pumpdiag";
    char* argv[] = {name, nullptr};
    const int rc = app::RunProgram(1, argv);
    if (oldLang) setenv("LANG", saved.c_str(), 1);
    else unsetenv("LANG");
    std::filesystem::remove_all(locale);

    EXPECT_EQ(rc, 217);
    EXPECT_EQ(window::Form1, nullptr);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "Error");
    EXPECT_EQ(boxes[0].icon, window::BoxIcon::None);
    EXPECT_EQ(boxes[0].text.size(), std::string("Runtime error 217 at 00000000").size());
    EXPECT_EQ(boxes[0].text.rfind("Runtime error 217 at ", 0), 0u);
    EXPECT_EQ(boxes[0].text.find_first_not_of("0123456789ABCDEF", 21), std::string::npos) << boxes[0].text;
}

TEST_F(PresentationTest, ErrorWhileTheWindowsAreBuiltEndsTheProgramAfterTheLastResortBox) {
    static char name[] = "pumpdiag";
    char* argv[] = {name, nullptr};
    const int rc = app::RunProgram(1, argv, [] {
        window::Form1 = new window::TForm1();
        throw core::EInvalidOperation("Canvas does not allow drawing");
    });
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(window::Form1, nullptr);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, "Application Error");
    EXPECT_EQ(boxes[0].text.rfind("Exception EInvalidOperation in module ", 0), 0u) << boxes[0].text;
    EXPECT_TRUE(boxes[0].text.ends_with(".\nCanvas does not allow drawing.")) << boxes[0].text;
}

TEST_F(PresentationTest, ErrorsTheComponentHandlesAreShownOnTheGuiThread) {
    serial::HandleApplicationException(nullptr, std::make_exception_ptr(core::EFOpenError("Cannot open file x.ini")));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Cannot open file x.ini.");
    EXPECT_EQ(boxes[0].title, app::ApplicationTitle());

    std::thread monitor([] { serial::HandleApplicationException(nullptr, std::make_exception_ptr(42)); });
    monitor.join();
    EXPECT_EQ(boxes.size(), 1u) << "shown off the GUI thread";
    ASSERT_TRUE(WaitFor([&] { return boxes.size() == 2; }, 2s));
    EXPECT_EQ(boxes[1].title, "Application Error");
}

}  // namespace
