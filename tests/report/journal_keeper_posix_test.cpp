// Journal records that cannot be written are kept and written later, in
// order, wherever they were kept: beside the journal, in the user's folder,
// in the state folder, or in memory.
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <utility>
#include <vector>

#include "journal_test_files.h"
#include "report/journal_keeper.h"

namespace {

using namespace journal_test;

// The user's folders inside the test's own.
class JournalFolder : public TestFolder {
protected:
    void SetUp() override {
        TestFolder::SetUp();
        fs::create_directories(root / "data");
        for (const char* name : {"XDG_DATA_HOME", "XDG_STATE_HOME"}) saved.emplace_back(name, Get(name));
        setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
        setenv("XDG_STATE_HOME", (root / "state").c_str(), 1);
    }
    void TearDown() override {
        for (const auto& [name, value] : saved) {
            if (value.empty()) unsetenv(name.c_str());
            else setenv(name.c_str(), value.c_str(), 1);
        }
        TestFolder::TearDown();
    }
    static std::string Get(const char* name) { return std::getenv(name) ? std::getenv(name) : ""; }

    std::vector<std::pair<std::string, std::string>> saved;
};

// Records that cannot be written are kept, and written in order once the
// journal can be written again. The blocks hold for root too.
TEST_F(JournalFolder, KeptRecordsAreWrittenInOrderOnceTheJournalCanBeWritten) {
    struct Row {
        const char* name;
        std::function<void(const fs::path& journal)> block, unblock;
        const char* keptIn;  // where the pending file is looked for, "" for memory
        const char* remedy;
        bool asUser;  // root writes a read-only file all the same
    } rows[] = {
        {"the journal's name is a folder", [](const fs::path& j) { fs::create_directories(j); },
         [](const fs::path& j) { fs::remove(j); }, "journal/journal.csv.pending", "", false},
        {"the journal's folder is a file", [](const fs::path& j) { WriteAll(j.parent_path(), ""); },
         [](const fs::path& j) { fs::remove(j.parent_path()); }, "data/pumpdiag/", "", false},
        {"no folder can be written",
         [this](const fs::path& j) {
             for (const char* f : {"data", "state"}) fs::remove_all(root / f), WriteAll(root / f, "");
             WriteAll(j.parent_path(), "");
         },
         [this](const fs::path& j) {
             for (const char* f : {"data", "state"}) fs::remove(root / f);
             fs::remove(j.parent_path());
         },
         "", "", false},
        {"a read-only journal",
         [](const fs::path& j) {
             fs::create_directories(j.parent_path());
             WriteAll(j, "");
             fs::permissions(j, fs::perms::owner_read);
         },
         [](const fs::path& j) { fs::permissions(j, fs::perms::owner_read | fs::perms::owner_write); },
         "journal/journal.csv.pending", "Make the journal and its folder writable.", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.asUser && ::geteuid() == 0) continue;  // scripts/test-unprivileged.sh runs it as a user
        fs::remove_all(fs::path(journal).parent_path());
        report::JournalKeeper keeper(journal);
        row.block(journal);
        const report::JournalKeeper::Outcome first = keeper.Record(Entry("2026-12-08T10:00:01+03:00", "B"));
        EXPECT_NE(first.problem.find(journal), std::string::npos) << first.problem;
        EXPECT_NE(first.problem.find(row.keptIn[0] ? "kept in " : "kept in memory"), std::string::npos)
            << first.problem;
        EXPECT_NE(first.problem.find(row.remedy), std::string::npos) << first.problem;
        EXPECT_TRUE(keeper.Behind());
        EXPECT_TRUE(keeper.Record(Entry("2026-12-08T10:00:02+03:00", "C")).problem.empty()) << "one box a streak";
        if (row.keptIn[0]) {
            EXPECT_NE(first.problem.find((root / row.keptIn).string()), std::string::npos);
        }
        row.unblock(journal);
        const report::JournalKeeper::Outcome again = keeper.Record(Entry("2026-12-08T10:00:03+03:00", "D"));
        EXPECT_TRUE(again.problem.empty());
        EXPECT_NE(again.written.find("(2)"), std::string::npos) << again.written;
        EXPECT_FALSE(keeper.Behind());
        EXPECT_EQ(Serials(journal), "BCD");
        // Nothing is written twice.
        EXPECT_TRUE(keeper.Record(Entry("2026-12-08T10:00:04+03:00", "E")).written.empty());
    }
}

TEST_F(JournalFolder, RecordsKeptInTwoPlacesGoInByTheirTimes) {
    const fs::path folder = fs::path(journal).parent_path();
    report::JournalKeeper keeper(journal);
    WriteAll(folder, "");  // kept in the user's folder
    keeper.Record(Entry("2026-12-08T10:00:00+03:00", "A"));
    fs::remove(folder);
    fs::create_directories(journal);  // kept beside the journal, an hour later in UTC though earlier on its clock
    keeper.Record(Entry("2026-12-08T09:30:00+02:00", "B"));
    fs::remove(journal);
    keeper.Record(Entry("2026-12-08T11:00:00+03:00", "C"));
    EXPECT_EQ(Serials(journal), "ABC");
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
    EXPECT_EQ(Serials(journal), "ABC");
}

}  // namespace
