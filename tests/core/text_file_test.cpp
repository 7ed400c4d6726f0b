#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "core/platform/exception.h"
#include "core/platform/text_file.h"

namespace {

class TempDir : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() / ("pd_core_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Path(const char* name) { return (dir_ / name).string(); }
    std::filesystem::path dir_;
};

TEST(SplitLines, EachLineEndKindEndsOneLine) {
    EXPECT_EQ(core::SplitLines("a\r\nb\nc\rd"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(core::SplitLines("a\n\rb"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(core::SplitLines("a\r\n"), (std::vector<std::string>{"a"}));
    EXPECT_TRUE(core::SplitLines("").empty());
    EXPECT_EQ(core::SplitLines("\n\n"), (std::vector<std::string>{"", ""}));
    EXPECT_EQ(core::SplitLines(" x  "), (std::vector<std::string>{" x  "}));
}

TEST(NormalizeLineEnds, EveryEndBecomesCrLf) {
    EXPECT_EQ(core::NormalizeLineEnds("a\nb\rc\r\nd\n\r"), "a\r\nb\r\nc\r\nd\r\n\r\n");
}

TEST_F(TempDir, ReadStopsAtZeroByteAndRoundTripsWrites) {
    std::string bytes("ab\r\nc\0rest", 10);
    core::WriteWholeTextFile(Path("t.txt"), bytes);
    EXPECT_EQ(core::ReadWholeTextFile(Path("t.txt")), "ab\r\nc");
    // UTF-16 text is half zero bytes: after its mark they are kept.
    const std::string utf16("\xFF\xFE" "C\0o\0m\0" "1\0", 10);
    core::WriteWholeTextFile(Path("t.txt"), utf16);
    EXPECT_EQ(core::ReadWholeTextFile(Path("t.txt")), utf16);
    core::WriteWholeTextFile(Path("t.txt"), "Com2");
    EXPECT_EQ(core::ReadWholeTextFile(Path("t.txt")), "Com2");
}

// The first line as the box shows it; the second names the folder and the reason.
TEST_F(TempDir, FileErrorsNameTheFileTheFolderAndTheReason) {
    std::filesystem::create_directories(dir_ / "5A.txt");
    const struct {
        std::string name;
        bool create;
        std::string message;
    } rows[] = {
        {Path("no-such-file.txt"), false,
         "Cannot open file " + Path("no-such-file.txt") + ".\nIn the folder " + dir_.string() + ": there is no such file."},
        {Path("5A.txt"), false,
         "Cannot open file " + Path("5A.txt") + ".\nIn the folder " + dir_.string() + ": this name is a folder, not a file."},
        {Path("missing-dir/port.ini"), true,
         "Cannot create file " + Path("missing-dir/port.ini") + ".\nIn the folder " + Path("missing-dir") +
             ": the folder does not exist."},
        {Path("5A.txt"), true,
         "Cannot create file " + Path("5A.txt") + ".\nIn the folder " + dir_.string() + ": this name is a folder, not a file."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        try {
            if (row.create) core::WriteWholeTextFile(row.name, "Com1");
            else core::ReadWholeTextFile(row.name);
            FAIL() << "no error";
        } catch (const core::EStreamError& e) {
            EXPECT_EQ(e.Message(), row.message);
            EXPECT_STREQ(e.ClassName(), row.create ? "EFCreateError" : "EFOpenError");
        }
    }
}

TEST_F(TempDir, LimitStopsReadingAndReportsIt) {
    core::WriteWholeTextFile(Path("big.txt"), std::string(200000, 'x'));
    bool exceeded = false;
    std::string text = core::ReadWholeTextFile(Path("big.txt"), 1000, &exceeded);
    EXPECT_TRUE(exceeded);
    EXPECT_EQ(text.size(), 1000u);
    text = core::ReadWholeTextFile(Path("big.txt"), 200000, &exceeded);
    EXPECT_FALSE(exceeded);
}

}  // namespace
