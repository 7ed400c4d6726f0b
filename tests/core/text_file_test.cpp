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
    core::WriteWholeTextFile(Path("t.txt"), "Com2");
    EXPECT_EQ(core::ReadWholeTextFile(Path("t.txt")), "Com2");
}

TEST_F(TempDir, MissingFileOrDirectoryRaisesOpenErrorNamingIt) {
    try {
        core::ReadWholeTextFile("no-such-file.txt");
        FAIL();
    } catch (const core::EFOpenError& e) {
        EXPECT_EQ(e.Message(), "Cannot open file no-such-file.txt");
    }
    EXPECT_THROW(core::ReadWholeTextFile(dir_.string()), core::EFOpenError);
}

TEST_F(TempDir, UnwritableTargetRaisesCreateError) {
    try {
        core::WriteWholeTextFile(Path("missing-dir/port.ini"), "Com1");
        FAIL();
    } catch (const core::EFCreateError& e) {
        EXPECT_EQ(e.Message(), "Cannot create file " + Path("missing-dir/port.ini"));
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
