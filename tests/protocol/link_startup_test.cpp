#include <gtest/gtest.h>

#include <chrono>

#include "engine_fakes.h"

using namespace testing_support;
using protocol::Control;
using protocol::PumpProtocol;
using protocol::Timer;

namespace {

struct Engine : ::testing::Test {
    ScriptedLine line;
    RecordingView view;
    PumpProtocol engine{line, view};

    void Arrive(const std::string& bytes) {
        line.Push(bytes);
        engine.Rx(static_cast<int>(bytes.size()));
    }
    void ArriveEach(const std::string& bytes) {
        for (char c : bytes) Arrive(std::string(1, c));
    }
};

TEST_F(Engine, SynchronisesOnPatternFromSingleByteArrivalsOnly) {
    engine.SetFirstStartValues();
    engine.SetRemainingStartValues();
    ArriveEach("\x55\x8C");
    Arrive(std::string("\x00", 1));
    Arrive("\x51");
    EXPECT_FALSE(engine.State().Synced);
    Arrive("\x55\x8C");  // two pattern bytes in one arrival: only 0x55 counts
    Arrive("\x51");
    EXPECT_FALSE(engine.State().Synced);
    EXPECT_TRUE(line.written.empty());

    ArriveEach("\x55\x8C\x51");
    EXPECT_TRUE(engine.State().Synced);
    EXPECT_EQ(line.written, "\xAE");
    EXPECT_EQ(line.Waiting(), 0) << "the echo of 0xAE is consumed";
}

TEST_F(Engine, CannotSynchroniseBeforeStartValuesNorRightAfterLinkReset) {
    // The history has no bytes until the window's creation sets its count.
    engine.SetFirstStartValues();
    ArriveEach("\x55\x8C\x51");
    EXPECT_FALSE(engine.State().Synced);

    engine.SetRemainingStartValues();
    engine.ResetLink();
    EXPECT_EQ(engine.State().SyncHistory, (protocol::ByteString<3>{'1', '2', '3'}));
    ArriveEach("\x8C\x51");
    EXPECT_FALSE(engine.State().Synced);
    Arrive("\x55");
    ArriveEach("\x8C\x51");
    EXPECT_TRUE(engine.State().Synced);
}

TEST_F(Engine, ArrivalThatReadsNothingIsIgnored) {
    engine.SetRemainingStartValues();
    engine.Rx(1);
    EXPECT_EQ(engine.State().SyncHistory, (protocol::ByteString<3>{0, 0, 0}));
}

TEST_F(Engine, StartButtonSendsWakeUpPatternAndSetsLinkState) {
    using Clock = std::chrono::steady_clock;
    engine.SetFirstStartValues();
    engine.SetRemainingStartValues();
    line.breakEndsAsZero = true;
    auto t0 = Clock::now();
    engine.Button3Click();
    EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(900));
    EXPECT_EQ(line.breaks, (std::vector<bool>{true, false, true, false}));
    EXPECT_EQ(line.purges, 1);
    EXPECT_EQ(line.Waiting(), 0) << "what the wake-up left on the line is purged after it";
    auto s = engine.State();
    EXPECT_FALSE(s.Synced);
    EXPECT_EQ(s.BlockCounter, 0x61);
    EXPECT_TRUE(s.IdentPending);
    EXPECT_TRUE(s.WatchdogArmed);
    EXPECT_EQ(s.WatchdogLastCounter, 0);
    EXPECT_EQ(s.PendingCommand, protocol::AckCommand);
    EXPECT_FALSE(view.Enabled(Control::Button3));
    EXPECT_TRUE(view.TimerOn(Timer::Timer1));
}

TEST_F(Engine, RefusedBreakLeavesStartButtonAndWatchdogAlone) {
    line.failBreak = true;
    EXPECT_THROW(engine.Button3Click(), std::runtime_error);
    EXPECT_TRUE(view.log.empty());
    EXPECT_FALSE(engine.State().Synced);
}

TEST_F(Engine, WatchdogGivesStartButtonBackWhenCounterStops) {
    engine.ResetLink();
    engine.timer1Timer();  // 0x61 against 0: the link moved
    EXPECT_FALSE(view.Enabled(Control::Button3));
    EXPECT_EQ(view.log.back(), "enable 0=0");
    engine.timer1Timer();  // no block since: stop
    EXPECT_TRUE(view.Enabled(Control::Button3));
    EXPECT_EQ(view.log.back(), "timer 0=0");
    engine.timer1Timer();  // already enabled and unchanged: stops again, harmless
    EXPECT_EQ(view.log.back(), "timer 0=0");
}

TEST(WatchdogRestart, EndOfFirstBlockAfterARequestRestartsTheWatchdogOnce) {
    struct Row {
        bool armed;  // a request went out before the block
        std::uint8_t counter;
        std::uint8_t title;
        std::string data;
        bool restarts;
    };
    const Row rows[] = {
        {true, 19, 0x10, "AB", true},  // longer than 4 with a counter past 18
        {true, 18, 0x10, "AB", false},
        {true, 19, 0x10, "A", false},
        {true, 2, 0x0A, "", true},  // the title is the last stored byte
        {true, 2, 0x10, "A\xF0", true},
        {false, 19, 0x10, "AB", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "counter " << int(row.counter) << " title " << int(row.title) << " data "
                                        << row.data.size() << " armed " << row.armed);
        ScriptedLine line;
        RecordingView view;
        PumpProtocol engine{line, view};
        Synchronise(engine, line);
        if (row.armed) {
            engine.Button1Click();
            PlayPumpBlock(engine, line, PumpBlock(0x00, 0x09, ""));
            ASSERT_TRUE(engine.State().WatchdogArmed);
        }
        PlayPumpBlock(engine, line, PumpBlock(row.counter, row.title, row.data));
        EXPECT_EQ(view.TimerOn(Timer::Timer1), row.restarts);
        EXPECT_FALSE(engine.State().WatchdogArmed);
        view.timers.clear();
        PlayPumpBlock(engine, line, PumpBlock(static_cast<std::uint8_t>(row.counter + 2), row.title, row.data));
        EXPECT_FALSE(view.TimerOn(Timer::Timer1)) << "only the first block after the request restarts it";
    }
}

TEST_F(Engine, SendEchoedGivesUpAfter101PollsWithoutEcho) {
    using Clock = std::chrono::steady_clock;
    line.echo = false;
    auto t0 = Clock::now();
    engine.SendEchoed("\x01");
    EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(101));
    EXPECT_EQ(line.reads, 101);
}

TEST_F(Engine, SendEchoedReadsAtMost22BytesAndStopsAtFirstData) {
    std::string thirty(30, '\x11');
    engine.SendEchoed(thirty);
    EXPECT_EQ(line.reads, 1);
    EXPECT_EQ(line.Waiting(), 8) << "the rest of a long echo stays in the input";
}

}  // namespace
