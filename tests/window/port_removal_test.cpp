// A USB adapter pulled out in the middle of a diagnosis, played by a real
// pseudo-terminal whose far end (pumpsim-tool serving the simulated unit)
// ends, under the stable name Linux gives an adapter: the window says which
// port's adapter went and what to do, and once a new unit is behind the same
// name, choosing it from the port menu opens it and identifies the pump.
#include <filesystem>
#include <memory>

#include "app/error_presentation.h"
#include "core/realtime/line_priority.h"
#include "gui_fixture.h"
#include "pty_tool.h"
#include "report/journal.h"
#include "serial/open_failure.h"
#include "window/qt/form1.h"
#include "window/qt/memo_text.h"

using namespace testing_support;
using namespace std::chrono_literals;

namespace {

class PortRemovalTest : public FormTest {
protected:
    void SetUp() override {
        FormTest::SetUp();
        WriteBytes("caption.txt", ReadBytes(PD_DATA_DIR "/caption.txt"));
        link = folder / "dev" / "serial" / "by-id" / "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
        std::filesystem::create_directories(link.parent_path());
        form->logic().SetDevFolder((folder / "dev").string());
        journal = (folder / "journal.csv").string();
        form->logic().SetJournalPath(journal);
    }
    // The adapter's name now leads to `tool`'s terminal.
    void PlugIn(const PtyTool& tool) {
        ASSERT_FALSE(tool.Path().empty()) << "the simulator did not start";
        std::filesystem::remove(link);
        std::filesystem::create_symlink(tool.Path(), link);
    }
    // The journal's records of `event` on the adapter's port.
    int Records(const std::string& event) {
        int n = 0;
        for (const report::JournalEntry& e : report::ReadJournal(journal))
            if (e.Field("event") == event && e.Field("port") == link.string()) ++n;
        return n;
    }
    // The start, until the pump is identified anew; a link lost on a loaded
    // machine is started again, as the user would.
    void Identify() {
        const int before = std::filesystem::exists(journal) ? Records("identification") : 0;
        const auto identified = [&] { return std::filesystem::exists(journal) && Records("identification") > before; };
        for (int attempt = 0; attempt < 3 && !identified(); ++attempt) {
            form->Button3->click();
            ASSERT_TRUE(WaitFor([&] { return identified() || form->Button3->isEnabled(); }, 30s));
        }
        // Without real time on a busy machine the pump's 10 ms windows are
        // the machine's to keep, not the program's.
        if (!identified() && core::LineRanWithoutRealTime() != core::NoRealTime::None)
            GTEST_SKIP() << "the link was lost three times without real-time priority";
        ASSERT_TRUE(identified()) << "no identification in three starts: "
                                  << window::MemoText(form->Memo2).toStdString()
                                  << (boxes.empty() ? "" : "\n" + boxes.back().text);
    }
    // The port menu as it opens: the found item of the adapter's name, if listed.
    QAction* FoundItem() {
        emit form->N2->aboutToShow();
        for (QAction* item : form->foundPortItems)
            if (!item->isSeparator() && item->text().startsWith("FTDI FT232R")) return item;
        return nullptr;
    }

    std::filesystem::path link;
    std::string journal;
};

TEST_F(PortRemovalTest, ARemovedAdapterIsSaidAndThePortOpensAgainFromTheMenu) {
    auto unit = std::make_unique<PtyTool>(PUMPSIM_TOOL, true);
    PlugIn(*unit);
    WriteBytes("port.ini", link.string());
    form->FormCreate();
    ASSERT_TRUE(boxes.empty()) << boxes[0].text;
    ASSERT_NO_FATAL_FAILURE(Identify());
    if (IsSkipped()) return;

    unit.reset();  // pulled out while blocks go back and forth
    ASSERT_TRUE(WaitFor([&] { return !boxes.empty(); }, 10s)) << "nothing said of the removal";
    const std::string said = serial::RemovedDeviceLine(link.string());
    EXPECT_EQ(boxes[0].text, said);
    // The name as the box's other port errors cut it: its first 59 characters.
    EXPECT_NE(said.find("port " + link.string().substr(0, 59) + "… was removed"), std::string::npos) << said;
    EXPECT_TRUE(said.ends_with("Plug it in and choose the port again.")) << said;
    EXPECT_EQ(boxes[0].title, app::ApplicationTitle());
    EXPECT_EQ(boxes[0].icon, window::BoxIcon::Error);
    EXPECT_EQ(Records("adapter removed"), 1);

    // The watchdog gives the start back, with the removal as the link's
    // failure (no other cause read into the line); a start on the gone port
    // says the same.
    ASSERT_TRUE(WaitFor([&] { return form->Button3->isEnabled(); }, 30s));
    EXPECT_EQ(form->logic().Failure().cause, "adapter_removed");
    EXPECT_EQ(window::MemoText(form->Memo2).toStdString(), said);
    const std::vector<report::JournalEntry> entries = report::ReadJournal(journal);
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.back().Field("event"), "adapter removed") << "another record after the removal";
    form->Button3->click();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, said);
    EXPECT_EQ(FoundItem(), nullptr) << "a name that leads nowhere is no port";

    PtyTool back(PUMPSIM_TOOL, true);
    PlugIn(back);
    QAction* item = FoundItem();
    ASSERT_NE(item, nullptr);
    item->trigger();
    ASSERT_EQ(boxes.size(), 2u) << boxes.back().text;
    EXPECT_TRUE(form->com().Connected());
    EXPECT_TRUE(form->logic().PortRemoval().empty());
    ASSERT_NO_FATAL_FAILURE(Identify());
    if (IsSkipped()) return;
    EXPECT_EQ(form->Id_b->caption(), "0 470 506 917");
    EXPECT_EQ(boxes.size(), 2u);
    EXPECT_EQ(Records("adapter removed"), 1);
}

}  // namespace
