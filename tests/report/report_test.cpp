// The journal's and the report's own rules: CSV quoting and reading, the
// help paragraph, the zone offset, the documents folder, the file name, what
// the report prints of texts that come from the pump or the user, its
// settings file, and a file written whole or not at all.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "report/csv.h"
#include "report/journal.h"
#include "report/local_time.h"
#include "report/report_file.h"
#include "report/report_html.h"
#include "report/report_settings.h"
#include "report/user_folders.h"
#include "report/whole_file.h"
#include "core/platform/exception.h"

namespace {

TEST(Csv, FieldsComeBackAsWritten) {
    const std::vector<std::vector<std::string>> rows = {
        {"plain", "", "with;separator", "with \"quotes\"", "Кириллица"},
        {"line\r\nend", "\"", ";", "lone\rcr", "a\nb"},
        {""},
    };
    std::string text = "\xEF\xBB\xBF";
    for (const auto& row : rows) text += report::CsvLine(row);
    const std::vector<report::CsvRow> back = report::ParseCsv(text);
    ASSERT_EQ(back.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(back[i].fields, rows[i]);
        EXPECT_TRUE(back[i].complete);
    }
}

TEST(Csv, CutRowsAreMarked) {
    struct Row {
        const char* text;
        std::vector<bool> complete;
    } rows[] = {
        {"a;b\r\nc;d", {true, false}},        // no line end at the end
        {"a;b\r\n\"c;d\r\n", {true, false}},  // a quote that never closes
        {"a;b\r\n", {true}},
        {"", {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        std::vector<bool> complete;
        for (const report::CsvRow& r : report::ParseCsv(row.text)) complete.push_back(r.complete);
        EXPECT_EQ(complete, row.complete);
    }
}

TEST(Journal, ACutRecordIsReadAsCutAndTheFollowingOnesWhole) {
    const auto path = std::filesystem::temp_directory_path() / "pd_journal_cut.csv";
    std::filesystem::remove(path);
    report::Diagnosis d;
    d.identification[report::kSerialNumber] = "VR1708512 3470";
    ASSERT_EQ(report::AppendToJournal(path.string(), report::JournalEvent::Identification, d, {}), "");
    {
        // A power loss: half a record, and the zeros a file system may leave.
        std::ofstream cut(path, std::ios::binary | std::ios::app);
        cut << std::string("2026-01-01T00:00:00+00:00;fault read;\"CO") << std::string(16, '\0');
    }
    ASSERT_EQ(report::AppendToJournal(path.string(), report::JournalEvent::Erase, d, {}), "");
    const std::vector<report::JournalEntry> entries = report::ReadJournal(path.string());
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_FALSE(entries[0].cut);
    EXPECT_TRUE(entries[1].cut);
    EXPECT_FALSE(entries[2].cut);
    EXPECT_EQ(entries[2].Field("event"), "erase");
    EXPECT_TRUE(report::SerialMatches(entries[2], "vr1708512"));
    std::filesystem::remove(path);
}

TEST(Report, FirstParagraphOfAHelpText) {
    struct Row {
        const char* text;
        const char* paragraph;
    } rows[] = {
        {"Код 0x53\r\n\r\nБлок сохранил\r\nкод.\r\n\r\nДалее.", "Код 0x53 — Блок сохранил код."},
        {"\r\n  \r\nОдин абзац\nв две строки.\n", "Один абзац в две строки."},
        {"Предложение целиком.\n\nВторой абзац.", "Предложение целиком."},  // a sentence is no heading
        {"Заголовок 0x50\n", "Заголовок 0x50"},
        {"", ""},
    };
    for (const Row& row : rows) EXPECT_EQ(report::FirstParagraph(row.text), row.paragraph) << row.text;
}

TEST(Report, TextsFromThePumpAndTheUserArePrintedNotObeyed) {
    report::Diagnosis d;
    d.identified = true;
    d.identification[report::kOriginalNumber] = "<script>alert(1)</script>&";
    d.faults.done = true;
    d.faults.faults = {{0x53, 2, std::string(3 * report::kMostHelpChars, 'x')}};
    EXPECT_EQ(report::ReportHtml(d, {}).find("id=\"failure\""), std::string::npos) << "no failure, no section";
    // The failure's sentence comes from a catalog the user may replace.
    d.failureCause = "no_answer";
    d.failureText = "Is the <ignition> on & the line connected?";
    const std::string html = report::ReportHtml(d, {"<b>Мастерская</b>", ""});
    EXPECT_NE(html.find("<p id=\"failure\" data-cause=\"no_answer\">Is the &lt;ignition&gt; on &amp; the line "
                        "connected?</p>"),
              std::string::npos);
    EXPECT_EQ(html.find("<script>"), std::string::npos);
    EXPECT_NE(html.find("&lt;script&gt;alert(1)&lt;/script&gt;&amp;"), std::string::npos);
    EXPECT_NE(html.find("&lt;b&gt;Мастерская&lt;/b&gt;"), std::string::npos);
    EXPECT_NE(html.find(std::string(report::kMostHelpChars, 'x') + "…<"), std::string::npos) << "cut to the limit";
    EXPECT_EQ(html.find(std::string(report::kMostHelpChars + 1, 'x')), std::string::npos);
}

TEST(Report, HeaderNamesTheWorkshopAndTheTechnicianAndLeavesOutAnEmptyOne) {
    struct Row {
        report::ReportSettings names;
        bool workshop, technician;
    } rows[] = {
        {{"Дизель-сервис", "Иванов И. И."}, true, true},
        {{"", "Иванов И. И."}, false, true},
        {{"Дизель-сервис", ""}, true, false},
        {{"", ""}, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.names.workshop + "|" + row.names.technician);
        const std::string html = report::ReportHtml(report::Diagnosis{}, row.names);
        EXPECT_EQ(html.find("id=\"workshop\">Дизель-сервис<") != std::string::npos, row.workshop);
        EXPECT_EQ(html.find("id=\"technician\">Иванов И. И.<") != std::string::npos, row.technician);
        // An empty name leaves no empty line: its element is not there at all.
        EXPECT_EQ(html.find("class=\"workshop\"") != std::string::npos, row.workshop);
        EXPECT_EQ(html.find("class=\"technician\"") != std::string::npos, row.technician);
    }
}

TEST(ReportSettings, ReadAsEditorsSaveThem) {
    struct Row {
        std::string bytes;
        const char* workshop;
        const char* technician;
    } rows[] = {
        {"workshop=Дизель\r\ntechnician=Иванов\r\n", "Дизель", "Иванов"},
        {"Workshop = Дизель-сервис \r\n", "Дизель-сервис", ""},
        {"\xEF\xBB\xBF  TECHNICIAN\t=\tИванов\n", "", "Иванов"},
        {"workshop=\xC4\xE8\xE7\xE5\xEB\xFC\r\n", "Дизель", ""},  // Windows-1251, as Notepad saves it
        {"workshops=1\n; technician\nworkshop\n", "", ""},
        {"workshop=a=b\nworkshop=\n", "", ""},  // the last line of a key holds
        {"", "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.bytes);
        const report::ReportSettings s = report::ParseReportSettings(row.bytes);
        EXPECT_EQ(s.workshop, row.workshop);
        EXPECT_EQ(s.technician, row.technician);
    }
}

TEST(ReportSettings, SavedOverAnOldFileKeepsItsOtherLinesAndOneLineEachName) {
    const std::string old = "; the workshop's own note\r\nWorkshop = Старое\r\nworkshop=Ещё старее\r\nother=1\r\n";
    const std::string saved = report::WithReportSettings(old, {"Новое\r\ntechnician=чужой", " Петров "});
    EXPECT_EQ(saved, "\xEF\xBB\xBF; the workshop's own note\r\nworkshop=Новое  technician=чужой\r\nother=1\r\n"
                     "technician=Петров\r\n");
    EXPECT_EQ(report::ParseReportSettings(saved), (report::ReportSettings{"Новое  technician=чужой", "Петров"}));
}

TEST(WholeFile, WrittenWholeOrNotAtAllAndNothingLeftBeside) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / "pd_whole_file";
    struct Row {
        const char* name;
        bool folderInTheWay;  // a folder of that name: the new file cannot take its place
        bool written;
    } rows[] = {
        {"new.html", false, true},
        {"old.html", false, true},  // replaced
        {"taken.html", true, false},
        {"missing/none.html", false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(folder);
        fs::create_directories(folder);
        if (row.folderInTheWay) fs::create_directories(folder / row.name);
        if (std::string(row.name) == "old.html") std::ofstream(folder / row.name) << "an older, longer report";
        const std::string path = (folder / row.name).string();
        bool raised = false;
        try {
            report::WriteFileWhole(path, "<html>report</html>");
        } catch (const core::EFCreateError& e) {
            raised = true;
            EXPECT_NE(e.Message().find(row.name), std::string::npos) << e.Message();
        }
        EXPECT_EQ(raised, !row.written);
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
        EXPECT_EQ(names.size(), row.written || row.folderInTheWay ? 1u : 0u) << "only the file, or what stood there";
        if (row.written) {
            std::ifstream in(path, std::ios::binary);
            EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "<html>report</html>");
        }
    }
    fs::remove_all(folder);
}

TEST(Report, FileNameOfDateTimeAndSerialNumber) {
    report::LocalTime t;
    t.year = 2026, t.month = 12, t.day = 7, t.hour = 9, t.minute = 5, t.second = 3;
    struct Row {
        const char* serial;
        const char* name;
    } rows[] = {
        {"VR1708512 3470", "2026-12-07_09-05-03_VR1708512.html"},
        {"../VR:1", "2026-12-07_09-05-03____VR_1.html"},
        {"ВР17", "2026-12-07_09-05-03_____17.html"},
        {"", "2026-12-07_09-05-03_pump.html"},
    };
    for (const Row& row : rows) {
        report::Diagnosis d;
        d.identification[report::kSerialNumber] = row.serial;
        EXPECT_EQ(report::ReportFileName(d, t), row.name) << row.serial;
    }
}

TEST(LocalTimeText, CarriesTheZonesOffset) {
    const char* previous = std::getenv("TZ");
    const std::string saved = previous ? previous : "";
    struct Row {
        const char* zone;
        const char* iso;
    } rows[] = {
        {"UTC0", "1970-01-02T00:00:00+00:00"},
        {"MSK-3", "1970-01-02T03:00:00+03:00"},
        {"EST5", "1970-01-01T19:00:00-05:00"},
        {"IST-5:30", "1970-01-02T05:30:00+05:30"},
    };
    for (const Row& row : rows) {
        setenv("TZ", row.zone, 1);
        tzset();
        EXPECT_EQ(report::IsoText(report::ToLocalTime(86400)), row.iso) << row.zone;
    }
    if (previous) setenv("TZ", saved.c_str(), 1);
    else unsetenv("TZ");
    tzset();
}

}  // namespace
