// A journal held open without sharing, as a spreadsheet holds the file it
// shows: the record is kept beside it, the box says the journal is open in
// another program, and the record goes in once the program lets go.
#include <windows.h>

#include <gtest/gtest.h>

#include "journal_test_files.h"
#include "report/journal_keeper.h"

namespace {

using namespace journal_test;

TEST_F(TestFolder, AJournalHeldOpenWithoutSharingIsWrittenOnceItIsLetGo) {
    report::JournalKeeper keeper(journal);
    ASSERT_EQ(keeper.Record(Entry("2026-12-08T10:00:00+03:00", "A")).problem, "");
    const HANDLE held = CreateFileW(fs::path(journal).wstring().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const report::JournalKeeper::Outcome first = keeper.Record(Entry("2026-12-08T10:00:01+03:00", "B"));
    EXPECT_NE(first.problem.find("it is open in another program"), std::string::npos) << first.problem;
    EXPECT_NE(first.problem.find("Close it in that program"), std::string::npos) << first.problem;
    EXPECT_TRUE(keeper.Behind());
    EXPECT_TRUE(fs::exists(journal + ".pending"));
    CloseHandle(held);
    const report::JournalKeeper::Outcome again = keeper.Record(Entry("2026-12-08T10:00:02+03:00", "C"));
    EXPECT_NE(again.written.find("(1)"), std::string::npos) << again.written;
    EXPECT_FALSE(keeper.Behind());
    EXPECT_EQ(Serials(journal), "ABC");
}

}  // namespace
