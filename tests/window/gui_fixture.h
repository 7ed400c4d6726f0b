// Shared set-up of the window tests: one application object for the process,
// a fresh working folder per test (the program finds its files by relative
// name), and a recorder that takes the place of the modal boxes.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QString>

#include "window/qt/form1.h"
#include "window/qt/message_box.h"

namespace testing_support {

// The process-wide application object (created on first use).
void EnsureApplication();

// Processes events until `done` holds or `timeout` passes; returns done().
bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout);

// Writes exactly `bytes` to `name` in the current folder.
void WriteBytes(const std::string& name, const std::string& bytes);
std::string ReadBytes(const std::string& name);
// UTF-8 text written as Windows-1251.
void Write1251(const std::string& name, const std::string& utf8);

// A pseudo-terminal whose slave path serves as a port that opens.
struct Pty {
    int master = -1;
    std::string slave;
    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;
};

class GuiTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::vector<window::BoxRecord> boxes;
    std::filesystem::path folder;

private:
    std::filesystem::path previous_;
    window::BoxHook previousHook_;
};

// A main window built (not yet created by its creation handler) and
// registered as the program's Form1.
class FormTest : public GuiTest {
protected:
    void SetUp() override;
    void TearDown() override;

    std::unique_ptr<window::TForm1> form;
};

}  // namespace testing_support

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
