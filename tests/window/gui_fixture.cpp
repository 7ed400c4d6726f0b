#include "gui_fixture.h"

#include <pty.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>

#include <QCoreApplication>
#include <QThread>

#include "app/application.h"
#include "core/text/cp1251.h"

namespace testing_support {

void EnsureApplication() {
    static int argc = 1;
    static char name[] = "pumpdiag";
    static char* argv[] = {name, nullptr};
    // Lives until the process ends: destroying it among the other statics
    // at exit would outlast parts of Qt it needs.
    static app::TApplication* application = nullptr;
    if (!application) {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        application = new app::TApplication(argc, argv);
        application->setQuitOnLastWindowClosed(false);
    }
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

void WriteBytes(const std::string& name, const std::string& bytes) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string ReadBytes(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Write1251(const std::string& name, const std::string& utf8) { WriteBytes(name, core::Utf8ToCp1251(utf8)); }

Pty::Pty() {
    int slaveFd = -1;
    char name[128] = {};
    if (openpty(&master, &slaveFd, name, nullptr, nullptr) == 0) {
        slave = name;
        close(slaveFd);
    }
}

Pty::~Pty() {
    if (master >= 0) close(master);
}

void GuiTest::SetUp() {
    EnsureApplication();
    previous_ = std::filesystem::current_path();
    char pattern[] = "/tmp/pd-window-XXXXXX";
    folder = mkdtemp(pattern);
    std::filesystem::current_path(folder);
    previousHook_ = window::ReplaceBoxHook([this](const window::BoxRecord& box) { boxes.push_back(box); });
}

void GuiTest::TearDown() {
    window::ReplaceBoxHook(std::move(previousHook_));
    std::filesystem::current_path(previous_);
    std::error_code ignored;
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(folder, ignored);
}

void FormTest::SetUp() {
    GuiTest::SetUp();
    form = std::make_unique<window::TForm1>();
    window::Form1 = form.get();
}

void FormTest::TearDown() {
    form.reset();
    GuiTest::TearDown();
}

}  // namespace testing_support

// Under the leak checker: fontconfig keeps its pattern caches to the end of
// the process on purpose; they are not leaks of ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig\n"; }

// Under the thread checker: Qt's own libraries are not instrumented, so the
// hand-over inside its thread pool (image conversion) looks unsynchronised.
extern "C" const char* __tsan_default_suppressions() { return "race:libQt6Core.so\nrace:libQt6Gui.so\n"; }
