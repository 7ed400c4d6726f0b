#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "engine_fakes.h"

using namespace testing_support;
using protocol::PumpProtocol;

namespace {

std::string Bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list) s += static_cast<char>(b);
    return s;
}

struct Blocks : ::testing::Test {
    ScriptedLine line;
    RecordingView view;
    PumpProtocol engine{line, view};

    void SetUp() override {
        Synchronise(engine, line);
        line.written.clear();
    }
};

TEST(BlockExchange, AnswersEveryPumpByteAndAcknowledgesWithCounterPlusOne) {
    // The unit answers each byte of the engine's block at once, or only at the
    // last poll the engine waits for it; either answer belongs to that byte.
    for (int replyOnPoll : {0, 10}) {
        ScriptedLine line;
        RecordingView view;
        PumpProtocol engine{line, view};
        Synchronise(engine, line);
        line.written.clear();
        line.replyOnPoll = replyOnPoll;
        PlayPumpBlock(engine, line, PumpBlock(0x02, 0x09, ""));
        // complements of length, counter, title; then the engine's block
        EXPECT_EQ(line.written, Bytes({0xFC, 0xFD, 0xF6, 0x03, 0x03, 0x09, 0x03})) << "reply on poll " << replyOnPoll;
        auto s = engine.State();
        EXPECT_EQ(s.BlockCounter, 0x03);
        EXPECT_EQ(s.RxBuffer[0], 0x03);
        EXPECT_EQ(s.RxBuffer[1], 0x09);
        EXPECT_FALSE(s.OurTurn);
        EXPECT_FALSE(s.InBlock);
        EXPECT_FALSE(s.WatchdogArmed) << "an acknowledge does not arm the watchdog";
        EXPECT_EQ(line.Waiting(), 0) << "an answer was left for the next block; reply on poll " << replyOnPoll;
    }
}

TEST_F(Blocks, StoresExactlyTheBlockAndKeepsWhatEarlierBlocksLeft) {
    PlayPumpBlock(engine, line, PumpBlock(0x02, 0x10, "ABCDE"));
    PlayPumpBlock(engine, line, PumpBlock(0x04, 0x09, ""));
    auto s = engine.State();
    EXPECT_EQ(s.RxBuffer[0], 3);
    EXPECT_EQ(s.RxBuffer[1], 0x09);
    EXPECT_EQ(s.RxBuffer[2], 'A') << "index 2 onward keep the earlier block";
    EXPECT_EQ(s.RxBuffer[6], 'E');
}

TEST_F(Blocks, LongestBlockFillsIndexesUpTo253) {
    std::string data(252, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i + 1);
    PlayPumpBlock(engine, line, PumpBlock(0x02, 0x09, data));
    auto s = engine.State();
    EXPECT_EQ(s.RxBuffer[0], 255);
    EXPECT_EQ(s.RxBuffer[253], 252);
    EXPECT_EQ(s.RxBuffer[254], 0);
    EXPECT_EQ(s.BlockCounter, 0x03);
}

TEST_F(Blocks, ShortLengthsEndRightAfterTheCounter) {
    for (int length : {2, 1, 0}) {
        line.written.clear();
        // length and counter only; the next byte starts the engine's block
        std::string block = Bytes({length, 0x10, 0x03});
        PlayPumpBlock(engine, line, block);
        EXPECT_EQ(line.written, Bytes({length ^ 0xFF, 0xEF, 0x03, 0x11, 0x09, 0x03})) << "length " << length;
        auto s = engine.State();
        EXPECT_FALSE(s.OurTurn);
        EXPECT_FALSE(s.InBlock);
        EXPECT_EQ(s.RxBuffer[0], length);
    }
}

// The unit needs a pause before the end byte is taken and the engine's block goes out.
TEST_F(Blocks, PausesAfterTheByteThatCompletesABlock) {
    const std::string block = PumpBlock(0x02, 0x09, "A");
    PlayPumpBlockBody(engine, line, block.substr(0, block.size() - 2));
    line.PushAfterNextWrite("\x03");  // the end byte follows the answer's echo at once
    line.Push(block.substr(block.size() - 2, 1));
    const auto start = std::chrono::steady_clock::now();
    engine.Rx(1);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
    EXPECT_TRUE(engine.State().OurTurn);
    EXPECT_EQ(line.Waiting(), 1) << "the end byte was read during the pause";
}

TEST_F(Blocks, CounterFFIsAnsweredWithZero) {
    PlayPumpBlock(engine, line, PumpBlock(0xFF, 0x09, ""));
    EXPECT_EQ(line.written.substr(3), Bytes({0x03, 0x00, 0x09, 0x03}));
    EXPECT_EQ(engine.State().BlockCounter, 0x00);
}

TEST_F(Blocks, MissingCounterIsTakenAsZeroAfterItsPolls) {
    line.Push(Bytes({0x03}));
    auto t0 = std::chrono::steady_clock::now();
    engine.Rx(1);  // no counter byte follows
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(80));
    EXPECT_EQ(line.written, Bytes({0xFC, 0xFF}));
    EXPECT_EQ(engine.State().BlockCounter, 0);
    EXPECT_TRUE(engine.State().InBlock);
}

TEST_F(Blocks, ReadFaultsRequestGoesOutWithNextBlockThenFallsBack) {
    engine.Button4Click();
    PlayPumpBlock(engine, line, PumpBlock(0x08, 0x09, ""));
    EXPECT_EQ(line.written.substr(3), Bytes({0x03, 0x09, 0x07, 0x03}));
    EXPECT_EQ(view.memo2, "Проверка Ошибок");
    auto s = engine.State();
    EXPECT_TRUE(s.FaultMode);
    EXPECT_TRUE(s.WatchdogArmed);
    EXPECT_EQ(s.PendingCommand, protocol::AckCommand);
    line.written.clear();
    PlayPumpBlock(engine, line, PumpBlock(0x0A, 0x09, ""));
    EXPECT_EQ(line.written.substr(3), Bytes({0x03, 0x0B, 0x09, 0x03}));
}

TEST_F(Blocks, CheckingTextIsIssuedBeforeTheBlocksFirstByte) {
    engine.Button4Click();
    PlayPumpBlockBody(engine, line, Bytes({0x03, 0x08, 0x09}));
    view.log.clear();
    size_t writtenAtMemo = 0;
    view.onEffect = [&] { if (writtenAtMemo == 0) writtenAtMemo = line.written.size(); };
    size_t before = line.written.size();
    PlayEndByte(engine, line);
    ASSERT_FALSE(view.log.empty());
    EXPECT_EQ(view.log.front(), "memo2=Проверка Ошибок");
    EXPECT_EQ(writtenAtMemo, before) << "nothing of the block was written before the text";
    EXPECT_GT(line.written.size(), before);
}

TEST_F(Blocks, ClearRequestResetsDisplayAfterItsBlock) {
    engine.Button1Click();
    PlayPumpBlock(engine, line, PumpBlock(0x08, 0x09, ""));
    EXPECT_EQ(line.written.substr(3), Bytes({0x03, 0x09, 0x05, 0x03}));
    auto s = engine.State();
    EXPECT_TRUE(s.FaultBuffer.empty());
    EXPECT_FALSE(s.ClearPending);
    EXPECT_FALSE(s.FaultMode) << "clearing does not collect";
    EXPECT_TRUE(view.VisibleButtons().empty());
    EXPECT_FALSE(view.status);
}

TEST_F(Blocks, ReadAfterClearBeforeNextBlockCarriesReadAndStillResets) {
    engine.Button1Click();
    engine.Button4Click();
    view.log.clear();
    PlayPumpBlock(engine, line, PumpBlock(0x08, 0x09, ""));
    EXPECT_EQ(line.written.substr(3), Bytes({0x03, 0x09, 0x07, 0x03}));
    EXPECT_EQ(view.log.back(), "status=0") << "display reset after the block";
    EXPECT_FALSE(engine.State().ClearPending);
}

// The window's handler may run while the engine's block is on the line.
class RequestDuringSend : public ScriptedLine {
public:
    std::function<void()> onWrite;
    int writesBefore = 0;  // engine bytes that go out before the request comes
    int WriteText(const std::string& bytes) override {
        if (onWrite && writesBefore-- == 0) std::exchange(onWrite, nullptr)();
        return ScriptedLine::WriteText(bytes);
    }
};

TEST(BlockSend, RequestMadeWhileBlockGoesOutIsNotLost) {
    struct Row {
        bool readRequestedBefore;  // the block going out carries a read request already
        int writesBefore;          // 0: as the length byte goes out, 3: as the end byte does
        std::uint8_t sentTitle;
        std::uint8_t nextTitle;
        bool armed;
    };
    const Row rows[] = {
        {false, 0, 0x09, 0x07, false},
        {false, 3, 0x09, 0x07, false},
        // the same request again is the one on the line: it goes out once
        {true, 3, 0x07, 0x09, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "request after " << row.writesBefore << " bytes, read before "
                                        << row.readRequestedBefore);
        RequestDuringSend line;
        RecordingView view;
        PumpProtocol engine(line, view);
        Synchronise(engine, line);
        if (row.readRequestedBefore) engine.Button4Click();
        PlayPumpBlockBody(engine, line, Bytes({0x03, 0x02, 0x09}));
        line.written.clear();
        line.writesBefore = row.writesBefore;
        line.onWrite = [&] { engine.Button4Click(); };
        PlayEndByte(engine, line);
        EXPECT_EQ(line.written, Bytes({0x03, 0x03, row.sentTitle, 0x03}));
        EXPECT_EQ(engine.State().PendingCommand,
                  row.nextTitle == 0x07 ? protocol::ReadFaultsCommand : protocol::AckCommand);
        EXPECT_EQ(engine.State().WatchdogArmed, row.armed);
        line.written.clear();
        PlayPumpBlock(engine, line, PumpBlock(0x04, 0x09, ""));
        EXPECT_EQ(line.written.substr(3), Bytes({0x03, 0x05, row.nextTitle, 0x03}));
    }
}

// A thread held up as its end byte goes out, or as it reads its echo: the
// pump's next block begins meanwhile, and its length byte is Rx's.
class HeldUpAfterEndByte : public ScriptedLine {
public:
    int WriteText(const std::string& bytes) override {
        endByteSent = playing && written.size() == 3;  // the fourth byte of the engine's block
        const int n = ScriptedLine::WriteText(bytes);
        if (endByteSent && holdInWrite) HoldUp();
        return n;
    }
    int ReadText(std::string& bytes, int count) override {
        const int n = ScriptedLine::ReadText(bytes, count);
        // Held at the echo, before any poll of the wait: however slow the machine, no poll is due in time.
        if (endByteSent && !holdInWrite && ++readsAfterEnd == 1) HoldUp();
        return n;
    }
    void HoldUp() {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        Push("\x03");
    }
    bool holdInWrite = false;
    bool playing = false;  // the engine's block goes out; `written` holds only its bytes
    bool endByteSent = false;
    int readsAfterEnd = 0;
};

TEST(BlockSend, AThreadHeldUpAtItsEndByteLeavesThePumpsNextBlockToRx) {
    for (bool holdInWrite : {true, false}) {
        SCOPED_TRACE(holdInWrite ? "held up in the sending" : "held up reading the echo");
        HeldUpAfterEndByte line;
        line.holdInWrite = holdInWrite;
        RecordingView view;
        PumpProtocol engine(line, view);
        Synchronise(engine, line);
        PlayPumpBlockBody(engine, line, Bytes({0x03, 0x02, 0x09}));
        line.written.clear();
        line.playing = true;
        PlayEndByte(engine, line);
        ASSERT_EQ(line.written, Bytes({0x03, 0x03, 0x09, 0x03}));
        EXPECT_EQ(line.Waiting(), 1) << "the pump's next length byte was swallowed";
    }
}

}  // namespace
