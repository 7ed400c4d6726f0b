// The report menu and the journal in the window: a diagnosis against the
// simulated pump leaves its records, "Make report" writes the report into the
// documents folder and hands it to the desktop's opener (here a stand-in
// xdg-open that notes what it was given), "Open journal folder" hands over
// the journal's folder, the window says where the report went and when
// nothing could open it, the settings dialog stores the names the report's
// header prints, and a journal that cannot be written costs one box.
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <QApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "gui_fixture.h"
#include "report/journal.h"
#include "report/report_settings.h"
#include "window/qt/form1.h"

using namespace testing_support;
using namespace std::chrono_literals;

namespace {

class ReportMenuTest : public FormTest {
protected:
    void SetUp() override {
        FormTest::SetUp();
        WriteBytes("caption.txt", ReadBytes(PD_DATA_DIR "/caption.txt"));
        for (const char* code : {"53", "5A"})
            WriteBytes(std::string(code) + ".txt", ReadBytes(std::string(PD_DATA_DIR "/") + code + ".txt"));
        WriteBytes("port.ini", "SIM");
        home = folder / "home";
        std::filesystem::create_directories(folder / "bin");
        // The opener notes its argument and ends with the status in the file
        // opener-status (0 without it); found on PATH.
        const auto opener = folder / "bin" / "xdg-open";
        std::ofstream(opener) << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" << (folder / "opened").string() << "'\n"
                              << "exit $(cat '" << (folder / "opener-status").string() << "' 2>/dev/null || echo 0)\n";
        std::filesystem::permissions(opener, std::filesystem::perms::owner_all);
        saved_ = {Get("HOME"), Get("PATH"), Get("XDG_CONFIG_HOME"), Get("XDG_DATA_HOME")};
        setenv("HOME", home.c_str(), 1);
        setenv("PATH", ((folder / "bin").string() + ":" + saved_[1]).c_str(), 1);
        unsetenv("XDG_CONFIG_HOME");
        unsetenv("XDG_DATA_HOME");
        journal = (folder / "data" / "journal.csv").string();
        form->logic().SetJournalPath(journal);
    }
    void TearDown() override {
        setenv("HOME", saved_[0].c_str(), 1);
        setenv("PATH", saved_[1].c_str(), 1);
        if (!saved_[2].empty()) setenv("XDG_CONFIG_HOME", saved_[2].c_str(), 1);
        if (!saved_[3].empty()) setenv("XDG_DATA_HOME", saved_[3].c_str(), 1);
        FormTest::TearDown();
    }
    static std::string Get(const char* name) { return std::getenv(name) ? std::getenv(name) : ""; }

    // Identification, then the fault read, as the technician clicks them.
    void Diagnose() {
        form->FormCreate();
        // On a loaded machine the simulated line may stall and the watchdog
        // end the link: the user's remedy, starting it again, is taken.
        for (int attempt = 0; attempt < 3 && !form->Button4->isEnabled(); ++attempt) {
            form->Button3->click();
            ASSERT_TRUE(WaitFor([&] { return form->Button4->isEnabled() || form->Button3->isEnabled(); }, 30s));
        }
        ASSERT_TRUE(form->Button4->isEnabled()) << "the link dropped before identification, three times";
        const int ticks = form->logic().State().timer2Ticks;
        form->Button4->click();
        ASSERT_TRUE(WaitFor([&] { return form->logic().State().timer2Ticks > ticks; }, 30s));
    }
    std::vector<std::string> Opened() {
        std::vector<std::string> lines;
        std::ifstream in(folder / "opened");
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    // The journal's events; the identifications of links started again
    // before the one that went through left out.
    std::vector<std::string> Events() {
        std::vector<std::string> events;
        for (const report::JournalEntry& e : report::ReadJournal(journal)) {
            if (events.size() == 1 && events[0] == "identification" && e.Field("event") == "identification") continue;
            events.push_back(e.Field("event"));
        }
        return events;
    }

    std::filesystem::path home;
    std::string journal;

private:
    std::array<std::string, 4> saved_;
};

TEST_F(ReportMenuTest, ReportOfTheFaultReadAndAfterTheEraseOpensInTheBrowser) {
    EXPECT_EQ(form->Report1->title(), "Report");
    EXPECT_EQ(form->MakeReport1->text(), "Make report");
    EXPECT_EQ(form->OpenJournal1->text(), "Open journal folder");
    ASSERT_NO_FATAL_FAILURE(Diagnose());
    EXPECT_EQ(Events(), (std::vector<std::string>{"identification", "fault read"}));
    EXPECT_EQ(report::ReadJournal(journal).back().Field("faults"), "53:2 5A:17");

    form->MakeReport1->trigger();
    ASSERT_TRUE(boxes.empty()) << boxes[0].text;
    const std::filesystem::path made = form->logic().State().lastReport;
    EXPECT_EQ(made.parent_path(), home / "Documents" / "Pump diagnostics");
    EXPECT_TRUE(made.filename().string().ends_with("_VR1708512.html")) << made;
    ASSERT_TRUE(WaitFor([&] { return Opened().size() == 1; }, 30s)) << "the report was not handed to the opener";
    EXPECT_EQ(Opened()[0], made.string());
    const std::string page = ReadBytes(made.string());
    EXPECT_NE(page.find("id=\"ident-serial_number\">VR1708512 3470<"), std::string::npos);
    EXPECT_NE(page.find("data-code=\"5A\"><td class=\"code\">5A</td><td class=\"counter\">17<"), std::string::npos);
    EXPECT_NE(page.find("not erased"), std::string::npos);

    form->button1->click();
    ASSERT_TRUE(WaitFor([&] { return Events().size() == 3; }, 30s)) << "no erase record";
    EXPECT_EQ(report::ReadJournal(journal).back().Field("erased"), "yes");
    EXPECT_EQ(report::ReadJournal(journal).back().Field("faults"), "53:2 5A:17") << "what was erased";
    form->MakeReport1->trigger();
    ASSERT_TRUE(WaitFor([&] { return Opened().size() == 2; }, 30s));
    EXPECT_NE(ReadBytes(Opened()[1]).find("erased at"), std::string::npos);

    form->OpenJournal1->trigger();
    ASSERT_TRUE(WaitFor([&] { return Opened().size() == 3; }, 30s));
    EXPECT_EQ(Opened()[2], (folder / "data").string());
    EXPECT_TRUE(boxes.empty());
}

TEST_F(ReportMenuTest, TheWindowSaysWhereTheReportWentAndWhenNothingCouldOpenIt) {
    ASSERT_NO_FATAL_FAILURE(Diagnose());
    WriteBytes("opener-status", "3");  // xdg-open's "no program for it"
    form->MakeReport1->trigger();
    const std::string made = form->logic().State().lastReport;
    ASSERT_FALSE(made.empty());
    const std::string memo = form->Memo2->toPlainText().toStdString();
    EXPECT_NE(memo.find(made), std::string::npos) << "the path in the window";
    EXPECT_NE(memo.find("\"Workshop and technician...\""), std::string::npos) << "where the header's names are set";
    ASSERT_TRUE(WaitFor([&] { return !boxes.empty(); }, 30s)) << "no word of the opener's failure";
    EXPECT_NE(boxes[0].text.find(made), std::string::npos) << boxes[0].text;

    boxes.clear();
    form->OpenJournal1->trigger();
    ASSERT_TRUE(WaitFor([&] { return !boxes.empty(); }, 30s));
    EXPECT_NE(boxes[0].text.find((folder / "data").string()), std::string::npos) << boxes[0].text;
    EXPECT_EQ(Opened().size(), 2u);
}

// Fills the modal dialog that the menu opens and closes it with OK or Cancel,
// once the menu's handler has shown it.
void AnswerDialog(const QString& workshop, const QString& technician, bool ok, QStringList& shown) {
    QTimer::singleShot(0, [=, &shown] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_TRUE(dialog);
        auto* first = dialog->findChild<QLineEdit*>("field0");
        auto* second = dialog->findChild<QLineEdit*>("field1");
        ASSERT_TRUE(first && second);
        shown = {dialog->windowTitle(), first->text(), second->text()};
        first->setText(workshop);
        second->setText(technician);
        auto* buttons = dialog->findChild<QDialogButtonBox*>();
        buttons->button(ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
    });
}

TEST_F(ReportMenuTest, TheSettingsDialogStoresTheNamesTheReportPrints) {
    EXPECT_EQ(form->ReportSettings1->text(), "Workshop and technician...");
    const std::string ini = (home / ".local" / "share" / "pumpdiag" / "report.ini").string();
    struct Row {
        const char* workshop;
        const char* technician;
        bool ok;
        report::ReportSettings stored;  // then
    } rows[] = {
        {"Дизель-сервис", "Иванов И. И.", true, {"Дизель-сервис", "Иванов И. И."}},
        {"Другая", "Петров", false, {"Дизель-сервис", "Иванов И. И."}},
        {"", "Петров", true, {"", "Петров"}},
    };
    report::ReportSettings before;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.workshop);
        QStringList shown;
        AnswerDialog(QString::fromUtf8(row.workshop), QString::fromUtf8(row.technician), row.ok, shown);
        form->ReportSettings1->trigger();
        ASSERT_EQ(shown.size(), 3);
        EXPECT_EQ(shown[0], "Report settings");
        EXPECT_EQ(shown[1].toStdString(), before.workshop) << "the stored names shown";
        EXPECT_EQ(shown[2].toStdString(), before.technician);
        EXPECT_EQ(report::ParseReportSettings(ReadBytes(ini)), row.stored);
        before = row.stored;
    }
    EXPECT_TRUE(boxes.empty());
    ASSERT_NO_FATAL_FAILURE(Diagnose());
    form->MakeReport1->trigger();
    const std::string page = ReadBytes(form->logic().State().lastReport);
    EXPECT_EQ(form->Memo2->toPlainText().toStdString().find("Workshop and technician"), std::string::npos)
        << "no hint once a name is set";
    EXPECT_NE(page.find("id=\"technician\">Петров<"), std::string::npos);
    EXPECT_EQ(page.find("id=\"workshop\""), std::string::npos) << "an empty name left out";
}

TEST_F(ReportMenuTest, TheSamePumpIdentifiedAgainKeepsItsDiagnosisAnotherStartsANewOne) {
    using protocol::IdentField;
    ASSERT_NO_FATAL_FAILURE(Diagnose());
    // The link started again: the engine sets the fields once more.
    form->logic().SetFieldText(IdentField::BoschNumber, "0 470 506 917");
    EXPECT_TRUE(form->logic().Diagnosis().faults.done) << "the faults read stay in the report";
    form->logic().SetFieldText(IdentField::Id, "VR2000001 1111");
    form->logic().SetFieldText(IdentField::BoschNumber, "0 470 506 917");
    EXPECT_FALSE(form->logic().Diagnosis().faults.done) << "another pump's report starts empty";
    EXPECT_EQ(Events(), (std::vector<std::string>{"identification", "fault read", "identification", "identification"}));
}

TEST_F(ReportMenuTest, NoReportBeforeThePumpIsIdentified) {
    form->FormCreate();
    form->MakeReport1->trigger();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].icon, window::BoxIcon::Information);
    EXPECT_FALSE(std::filesystem::exists(home / "Documents"));
}

TEST_F(ReportMenuTest, AJournalThatCannotBeWrittenCostsOneBoxAndTheDiagnosisGoesOn) {
    WriteBytes("blocked", "");
    form->logic().SetJournalPath((folder / "blocked" / "journal.csv").string());
    ASSERT_NO_FATAL_FAILURE(Diagnose());
    ASSERT_EQ(boxes.size(), 1u) << "one box for two records";
    EXPECT_NE(boxes[0].text.find((folder / "blocked").string()), std::string::npos) << boxes[0].text;
    EXPECT_NE(boxes[0].text.find("Not a directory"), std::string::npos) << boxes[0].text;
    EXPECT_TRUE(form->FaultButton(0x53)->isVisibleTo(form.get()));
    EXPECT_TRUE(form->FaultButton(0x5A)->isVisibleTo(form.get()));
}

}  // namespace
