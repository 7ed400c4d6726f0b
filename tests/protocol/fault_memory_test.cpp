#include <gtest/gtest.h>

#include "engine_fakes.h"

using namespace testing_support;
using protocol::Control;
using protocol::PumpProtocol;
using protocol::Timer;

namespace {

std::string Record(int code, int counter) {
    std::string r(8, '\x00');
    r[0] = static_cast<char>(code);
    r[1] = static_cast<char>(counter);
    for (int k = 2; k < 8; ++k) r[static_cast<size_t>(k)] = static_cast<char>(0xE0 + k);
    return r;
}

struct FaultMemory : ::testing::Test {
    ScriptedLine line;
    RecordingView view;
    PumpProtocol engine{line, view};
    std::uint8_t counter = 0x10;

    void SetUp() override { Synchronise(engine, line); }

    void RequestRead() {
        engine.Button4Click();
        Block("");  // its answer carries the read request
        ASSERT_TRUE(engine.State().FaultMode);
    }
    void Block(const std::string& data) {
        PlayPumpBlock(engine, line, PumpBlock(counter, 0xFC, data));
        counter = static_cast<std::uint8_t>(counter + 2);
    }
};

TEST_F(FaultMemory, RecordsSpreadOverBlocksShowTheirButtonsAndHints) {
    RequestRead();
    std::string data = Record(0x53, 2) + Record(0x5A, 17);
    Block(data.substr(0, 5));  // record boundaries need not match block boundaries
    EXPECT_TRUE(view.VisibleButtons().empty()) << "a data block does not show records";
    Block(data.substr(5, 10));
    Block(data.substr(15));
    EXPECT_TRUE(view.VisibleButtons().empty());
    Block("");
    EXPECT_EQ(view.VisibleButtons(), (std::vector<int>{0x53, 0x5A}));
    EXPECT_FALSE(view.status);
    EXPECT_FALSE(engine.State().FaultMode);
    EXPECT_TRUE(view.TimerOn(Timer::Timer2));
    EXPECT_EQ(view.Hint(0x53), "") << "hints come with the display timer";

    engine.Timer2Timer();
    EXPECT_EQ(view.Hint(0x53), "Сетчик ошибок 2");
    EXPECT_EQ(view.Hint(0x5A), "Сетчик ошибок 17");
    EXPECT_FALSE(view.TimerOn(Timer::Timer2));
    EXPECT_TRUE(view.Enabled(Control::Button4));
    EXPECT_TRUE(view.Enabled(Control::Button1));
}

TEST_F(FaultMemory, EmptyAnswerShowsStatusOnly) {
    RequestRead();
    Block("");
    EXPECT_TRUE(view.status);
    EXPECT_TRUE(view.VisibleButtons().empty());
}

TEST_F(FaultMemory, UnknownFirstCodeShowsNothingAndLaterRecordWins) {
    RequestRead();
    Block(Record(0x4F, 1) + Record(0x55, 3) + Record(0x55, 9));
    Block("");
    EXPECT_FALSE(view.status);
    EXPECT_EQ(view.VisibleButtons(), (std::vector<int>{0x55}));
    engine.Timer2Timer();
    EXPECT_EQ(view.Hint(0x55), "Сетчик ошибок 9");
}

TEST_F(FaultMemory, OnlyFirst120BytesMakeRecordsAndBufferHolds255) {
    RequestRead();
    std::string data;
    for (int r = 0; r < 15; ++r) data += Record(0x50 + r, r);
    data += Record(0x5E, 99);  // a sixteenth record: beyond 120 bytes
    Block(data);               // 128 bytes in one block
    std::string filler(200, '\x01');
    Block(filler);             // 328 bytes in all: the excess is dropped
    Block("");
    auto s = engine.State();
    EXPECT_EQ(s.FaultBuffer.size(), 255u);
    EXPECT_EQ(s.FaultBuffer.storage()[254], 0x01);
    EXPECT_EQ(view.VisibleButtons().size(), 15u);
    engine.Timer2Timer();
    EXPECT_EQ(view.Hint(0x5E), "Сетчик ошибок 14") << "the sixteenth record is not read";
}

TEST_F(FaultMemory, ReadingAgainAndClearingResetTheDisplay) {
    RequestRead();
    Block(Record(0x50, 1));
    Block("");
    engine.Timer2Timer();
    ASSERT_EQ(view.VisibleButtons(), (std::vector<int>{0x50}));

    engine.Button4Click();  // a new read hides everything at once
    EXPECT_TRUE(view.VisibleButtons().empty());
    EXPECT_EQ(view.Hint(0x50), "");
    EXPECT_FALSE(view.status);
    auto s = engine.State();
    EXPECT_TRUE(s.FaultBuffer.empty());
    EXPECT_EQ(s.FaultBuffer.storage()[0], 0) << "the storage is cleared too";

    Block("");
    Block(Record(0x51, 4));
    Block("");
    engine.Timer2Timer();
    EXPECT_EQ(view.VisibleButtons(), (std::vector<int>{0x51}));
    engine.Button1Click();
    Block("");
    EXPECT_TRUE(view.VisibleButtons().empty());
    EXPECT_FALSE(view.status) << "after a clear the group is empty until the next read";
}

}  // namespace
