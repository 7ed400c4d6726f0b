// The port menu's adapter check: the companion's check run from the window on
// the port the window holds, its report in a box, the same verdict as
// `pumpdiag-cli check-adapter` on the same line, and the port put back as it
// was: open with the engine on it, or closed; refused while the
// communication runs; a port that has gone is said in the box.
#include <QAction>

#include "cli_process.h"
#include "gui_fixture.h"
#include "window/adapter_check_run.h"
#include "window/qt/form1.h"

using namespace testing_support;
using namespace std::chrono_literals;

namespace {

std::string LineWith(const std::string& text, const std::string& start) {
    const std::size_t at = text.find(start);
    return at == std::string::npos ? "" : text.substr(at, text.find('\n', at) - at);
}

class AdapterCheckTest : public FormTest {
protected:
    void SetUp() override {
        FormTest::SetUp();
        WriteBytes("caption.txt", ReadBytes(PD_DATA_DIR "/caption.txt"));
    }
    // The check from the menu, to its box.
    std::string Check() {
        boxes.clear();
        form->CheckAdapter1->trigger();
        EXPECT_TRUE(WaitFor([&] { return !boxes.empty() && !form->logic().AdapterCheckRunning(); }, 60s));
        return boxes.empty() ? std::string() : boxes.back().text;
    }
    // A start after the check: the engine hears the line again.
    bool Synchronises() {
        for (int attempt = 0; attempt < 3 && !form->Button4->isEnabled(); ++attempt) {
            form->Button3->click();
            WaitFor([&] { return form->Button4->isEnabled() || form->Button3->isEnabled(); }, 30s);
        }
        return form->Button4->isEnabled();
    }
};

TEST_F(AdapterCheckTest, GivesTheCompanionsVerdictAndPutsThePortBack) {
    // The verdict on a line that answers in time is a figure of the
    // machine's load (a pseudo-terminal's echo passes a kernel worker at
    // normal priority, and on a loaded machine an echo may come after the
    // engine's 101 ms): there the check itself is compared, up to the ':'
    // before the echoes. The verdicts that do not hang on the machine's
    // timing are compared up to the ';' before the figures.
    const struct {
        std::vector<std::string> tool;  // empty: the simulated line SIM
        const char* compared;           // the report's line both must show alike, up to `cut` or its end
        char cut;
        bool closedBefore;              // the window's port closed before the check
        bool vanishes;                  // the line goes away before the check
    } rows[] = {
        {{}, "Sent ", ':', false, false},
        {{}, "Sent ", ':', true, false},
        {{"--no-echo"}, "Verdict:", ';', false, false},
        {{"--latency", "15"}, "Verdict:", ';', false, false},
        {{"--echo"}, "Sent ", ':', false, false},
        {{"--echo"}, "", ';', false, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.tool.empty() ? "SIM" : row.tool[0] + (row.vanishes ? " vanishing" : ""));
        std::optional<cli_test::PumpTool> tool;
        // The tool stays for the next opening when a program closes the line.
        if (!row.tool.empty()) {
            std::vector<std::string> options = row.tool;
            options.push_back("--stay");
            tool.emplace(options);
        }
        const std::string port = tool ? tool->Port() : "SIM";
        const cli_test::Result companion = cli_test::Cli({"check-adapter", "--port", port});

        form = std::make_unique<window::TForm1>();
        window::Form1 = form.get();
        WriteBytes("port.ini", port);
        form->FormCreate();
        ASSERT_TRUE(form->com().Connected());
        if (row.closedBefore) form->com().ClosePort();
        if (row.vanishes) tool.reset();

        const std::string shown = Check();
        EXPECT_EQ(form->logic().State().memo2, shown);
        if (row.vanishes) {
            EXPECT_NE(shown.find("The adapter cannot be checked: "), std::string::npos) << shown;
            EXPECT_FALSE(form->com().Connected());
            EXPECT_TRUE(form->Button3->isEnabled());
            continue;
        }
        const std::string line = LineWith(shown, row.compared);
        ASSERT_FALSE(line.empty()) << shown;
        const std::size_t cut = line.find(row.cut);
        EXPECT_EQ(line.substr(0, cut), LineWith(companion.out, row.compared).substr(0, cut))
            << shown << "\n---\n" << companion.out;
        if (row.cut == ';') {
            EXPECT_EQ(boxes.back().icon, companion.code == 0 ? window::BoxIcon::Information : window::BoxIcon::Error);
        }
        EXPECT_EQ(form->com().Connected(), !row.closedBefore);
        if (row.tool.empty() && !row.closedBefore) {
            EXPECT_TRUE(Synchronises()) << "the engine no longer hears the line";
        }
    }
}

TEST_F(AdapterCheckTest, IsRefusedWhileTheCommunicationRunsAndRefusesTheStartWhileItRuns) {
    WriteBytes("port.ini", "SIM");
    form->FormCreate();
    form->Button3->click();
    ASSERT_FALSE(form->Button3->isEnabled());
    form->CheckAdapter1->trigger();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, window::adapter_check_text::kLinkRuns);
    // The diagnosis goes on, on the port as it was.
    EXPECT_TRUE(WaitFor([&] { return form->Button4->isEnabled(); }, 30s));

    // And the other way round: the check holds the port, the start waits.
    form = std::make_unique<window::TForm1>();
    window::Form1 = form.get();
    form->FormCreate();
    boxes.clear();
    form->CheckAdapter1->trigger();
    ASSERT_TRUE(form->logic().AdapterCheckRunning());
    EXPECT_FALSE(form->Button3->isEnabled());
    form->logic().Button3Click();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, window::adapter_check_text::kBusy);
    EXPECT_TRUE(WaitFor([&] { return boxes.size() == 2 && !form->logic().AdapterCheckRunning(); }, 60s));
    EXPECT_TRUE(form->Button3->isEnabled());
}

}  // namespace
