// The journal's and the report's own rules: CSV quoting and reading, the
// help paragraph, the zone offset, the documents folder, the file name and
// what the report prints of texts that come from the pump or the user.
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
#include "report/user_folders.h"

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
    const std::string html = report::ReportHtml(d, "<b>Мастерская</b>");
    EXPECT_EQ(html.find("<script>"), std::string::npos);
    EXPECT_NE(html.find("&lt;script&gt;alert(1)&lt;/script&gt;&amp;"), std::string::npos);
    EXPECT_NE(html.find("&lt;b&gt;Мастерская&lt;/b&gt;"), std::string::npos);
    EXPECT_NE(html.find(std::string(report::kMostHelpChars, 'x') + "…<"), std::string::npos) << "cut to the limit";
    EXPECT_EQ(html.find(std::string(report::kMostHelpChars + 1, 'x')), std::string::npos);
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
