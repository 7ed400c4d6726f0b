// Drives the simulated line the way a tester does: wake-up breaks, the
// synchronisation key, blocks with a complement for every byte.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <thread>

#include "core/platform/exception.h"
#include "core/platform/wake_event.h"
#include "core/realtime/thread_priority.h"
#include "pumpsim/pump_unit.h"
#include "pumpsim/sim_line.h"

namespace pumpsim {
namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

double MsSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Plays the tester's line thread on the calling thread, at real-time priority
// as the engine's is: its windows of a few milliseconds hold on a busy machine.
class Tester {
public:
    explicit Tester(SimLine& line) : line_(line) {}

    // A shortened pattern inside the unit's tolerances, to keep tests quick.
    void WakeUp(int firstMs = 110, int idleMs = 110, int secondMs = 320) {
        line_.SetBreak(true);
        SleepMs(firstMs);
        line_.SetBreak(false);
        SleepMs(idleMs);
        line_.SetBreak(true);
        SleepMs(secondMs);
        line_.SetBreak(false);
        line_.Purge(true, true);
    }

    std::optional<std::uint8_t> ReadByte(int withinMs = 200) {
        const auto start = Clock::now();
        do {
            std::uint8_t b;
            if (line_.Read(&b, 1) == 1) return b;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        } while (MsSince(start) < withinMs);
        return std::nullopt;
    }

    // Writes a byte and takes back its echo (which is there when Write returns).
    void Send(std::uint8_t b) {
        line_.Write(&b, 1);
        std::uint8_t echo = 0;
        ASSERT_EQ(line_.Read(&echo, 1), 1) << "no echo";
        ASSERT_EQ(echo, b);
    }

    void Synchronise() {
        for (std::uint8_t expected : {0x55, 0x8C, 0x51}) {
            auto b = ReadByte(500);
            ASSERT_TRUE(b.has_value());
            ASSERT_EQ(*b, expected);
        }
        Send(0xAE);
    }

    // Receives a unit block, answering every byte but the end byte.
    Bytes ReceiveBlock() {
        Bytes block;
        auto length = ReadByte();
        if (!length) return block;
        block.push_back(*length);
        Send(*length ^ 0xFF);
        for (int i = 1; i < *length; ++i) {
            auto b = ReadByte();
            if (!b) return block;
            block.push_back(*b);
            Send(*b ^ 0xFF);
        }
        if (auto end = ReadByte()) block.push_back(*end);
        return block;
    }

    // Sends a block and checks the unit's complement of each byte but the end.
    void SendBlock(std::uint8_t counter, std::uint8_t title) {
        const Bytes block = {0x03, counter, title, 0x03};
        for (std::size_t i = 0; i < block.size(); ++i) {
            Send(block[i]);
            if (i + 1 == block.size()) break;
            auto reply = ReadByte(50);
            ASSERT_TRUE(reply.has_value()) << "no complement of byte " << i;
            EXPECT_EQ(*reply, block[i] ^ 0xFF);
        }
    }

    static Bytes Data(const Bytes& block) { return Bytes(block.begin() + 3, block.end() - 1); }

private:
    SimLine& line_;
    core::ScopedRealTimePriority onTime_;
};

Bytes Expected(std::uint8_t counter, std::uint8_t title, const Bytes& data) {
    Bytes b = {static_cast<std::uint8_t>(data.size() + 3), counter, title};
    b.insert(b.end(), data.begin(), data.end());
    b.push_back(0x03);
    return b;
}

Bytes Of(const std::string& s) { return Bytes(s.begin(), s.end()); }

std::vector<TraceEntry> OfKind(const std::vector<TraceEntry>& trace, TraceKind kind) {
    std::vector<TraceEntry> out;
    for (const TraceEntry& e : trace)
        if (e.kind == kind) out.push_back(e);
    return out;
}

void ExpectTimeOrdered(const std::vector<TraceEntry>& trace) {
    for (std::size_t i = 1; i < trace.size(); ++i)
        ASSERT_LE(trace[i - 1].timeMs, trace[i].timeMs) << "entry " << i;
}

TEST(SimLine, WholeExchangeFromWakeUpToFaultReadAndClear) {
    PumpConfig config;
    config.faults = {{0x53, 2, {1, 2, 3, 4, 5, 6}}, {0x5A, 17, {}}, {0x51, 200, {9, 9, 9, 9, 9, 9}}};
    config.faultBytesPerBlock = 10;
    SimLine line(config);
    Tester t(line);
    EXPECT_FALSE(line.PumpAwake());
    t.WakeUp(200, 200, 500);  // the pattern at its nominal timing
    ASSERT_NO_FATAL_FAILURE(t.Synchronise());
    EXPECT_TRUE(line.PumpAwake());

    // Each synchronisation byte is an arrival of its own.
    auto syncs = OfKind(line.Trace(), TraceKind::PumpByte);
    ASSERT_EQ(syncs.size(), 3u);
    EXPECT_GE(syncs[1].timeMs - syncs[0].timeMs, config.syncGapMs);
    EXPECT_GE(syncs[2].timeMs - syncs[1].timeMs, config.syncGapMs);

    // Identification blocks 0, 2, 4, 6, each answered by an acknowledge.
    const auto ident = PumpConfig::DefaultIdentData();
    for (int i = 0; i < 4; ++i) {
        const Bytes block = t.ReceiveBlock();
        ASSERT_EQ(block, Expected(static_cast<std::uint8_t>(2 * i), kIdentTitle, Of(ident[i])));
        t.SendBlock(static_cast<std::uint8_t>(2 * i + 1), kAckTitle);
    }
    // Then acknowledges for as long as the tester answers.
    EXPECT_EQ(t.ReceiveBlock(), Expected(8, kAckTitle, {}));
    line.ClearTrace();
    t.SendBlock(9, kReadFaultsTitle);
    // The unit's next block starts well after the tester's end byte.
    const Bytes first = t.ReceiveBlock();
    const auto trace = line.Trace();
    const auto tester = OfKind(trace, TraceKind::TesterByte);
    const auto pump = OfKind(trace, TraceKind::PumpByte);
    ASSERT_GE(tester.size(), 4u);
    ASSERT_GE(pump.size(), 4u);
    EXPECT_GE(pump[3].timeMs - tester[3].timeMs, config.blockGapMs);
    // A complement arrives its reply delay plus one byte time after the
    // tester's byte, whenever the unit's thread happened to run.
    EXPECT_NEAR(pump[0].timeMs - tester[0].timeMs, config.replyDelayMs + line.ByteTimeMs(), 0.01);
    ExpectTimeOrdered(trace);

    // The 24 record bytes come in blocks of 10, 10 and 4, then a block without data.
    Bytes collected = Tester::Data(first);
    EXPECT_EQ(first[2], kFaultDataTitle);
    EXPECT_EQ(first[1], 10);
    std::uint8_t counter = 10;
    for (Bytes block = first;; ) {
        t.SendBlock(++counter, kAckTitle);
        block = t.ReceiveBlock();
        ASSERT_GE(block.size(), 4u);
        EXPECT_EQ(block[1], ++counter);
        if (block[0] == 3) break;
        EXPECT_LE(block[0] - 3, 10);
        const Bytes data = Tester::Data(block);
        collected.insert(collected.end(), data.begin(), data.end());
    }
    EXPECT_EQ(collected, (Bytes{0x53, 2, 1, 2, 3, 4, 5, 6, 0x5A, 17, 0, 0, 0, 0, 0, 0,
                                0x51, 200, 9, 9, 9, 9, 9, 9}));

    // Clear, then a read finds nothing: a block without data at once.
    t.SendBlock(++counter, kClearFaultsTitle);
    EXPECT_EQ(t.ReceiveBlock(), Expected(++counter, kAckTitle, {}));
    EXPECT_TRUE(line.FaultMemory().empty());
    t.SendBlock(++counter, kReadFaultsTitle);
    EXPECT_EQ(t.ReceiveBlock(), Expected(++counter, kAckTitle, {}));

    // Counter 0xFF is followed by 0x00; an unknown title is an acknowledge.
    t.SendBlock(0xFF, 0x42);
    EXPECT_EQ(t.ReceiveBlock(), Expected(0x00, kAckTitle, {}));
    ExpectTimeOrdered(line.Trace());
}

TEST(SimLine, SleepingUnitIgnoresBytesAndIncompletePatterns) {
    PumpConfig config;
    config.wakeDelayMs = 5;
    SimLine line(config);
    Tester t(line);
    t.Send(0xAE);  // echoed, but the unit sleeps
    // The idle between the breaks too long: a tester that runs late only
    // makes it longer (the tolerances themselves are PumpUnit's test).
    t.WakeUp(110, 450, 320);
    EXPECT_FALSE(t.ReadByte(60).has_value());
    EXPECT_FALSE(line.PumpAwake());
    EXPECT_TRUE(OfKind(line.Trace(), TraceKind::PumpByte).empty());

    // Woken, but without the key byte the unit goes back to sleep after about 1 s.
    t.WakeUp();
    for (std::uint8_t expected : {0x55, 0x8C, 0x51}) EXPECT_EQ(t.ReadByte(500), expected);
    t.Send(0x00);  // not the key
    EXPECT_TRUE(line.PumpAwake());
    SleepMs(1150);
    EXPECT_FALSE(line.PumpAwake());
    EXPECT_FALSE(t.ReadByte(20).has_value());
}

TEST(SimLine, WritesTakeTheirByteTimeAndEchoUnlessDisabled) {
    SimLine line;
    EXPECT_NEAR(line.ByteTimeMs(), 11000.0 / 9600, 1e-6);
    const std::uint8_t bytes[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    const auto start = Clock::now();
    EXPECT_EQ(line.Write(bytes, 10), 10);
    EXPECT_GE(MsSince(start), 10 * line.ByteTimeMs());
    EXPECT_EQ(line.WaitingCount(), 10);
    std::uint8_t got[16] = {};
    // A read asked before the bytes came, and served late, gets none of them.
    EXPECT_EQ(line.ReadArrivedBy(got, 16, start), 0);
    EXPECT_EQ(line.Read(got, 3), 3);
    EXPECT_EQ(line.Read(got + 3, 16), 7);
    EXPECT_EQ(Bytes(got, got + 10), Bytes(bytes, bytes + 10));
    EXPECT_EQ(line.Read(got, 16), 0);  // never waits
    EXPECT_EQ(line.Write(bytes, 0), 0);
    EXPECT_THROW(line.Write(nullptr, 1), core::EInvalidOperation);

    // Each echo arrives as its byte ends: trace times step by a byte time.
    const auto echoes = OfKind(line.Trace(), TraceKind::EchoByte);
    ASSERT_EQ(echoes.size(), 10u);
    EXPECT_GE(echoes[9].timeMs - echoes[0].timeMs, 9 * line.ByteTimeMs() - 0.05);

    PumpConfig quiet;
    quiet.adapterEcho = false;
    SimLine noEcho(quiet);
    noEcho.Write(bytes, 2);
    EXPECT_EQ(noEcho.WaitingCount(), 0);
    EXPECT_EQ(OfKind(noEcho.Trace(), TraceKind::TesterByte).size(), 2u);
    EXPECT_TRUE(OfKind(noEcho.Trace(), TraceKind::EchoByte).empty());
}

TEST(SimLine, ArrivalDescriptorSignalsEveryArrivalAndPurgeDropsInput) {
    SimLine line;
    const int arrival = line.ArrivalFd();
    EXPECT_EQ(core::WaitForWakeEvents({arrival}, 0), 0u);
    const std::uint8_t b = 0x42;
    line.Write(&b, 1);
    EXPECT_EQ(core::WaitForWakeEvents({arrival}, 0), 1u);
    core::ResetWakeEvent(arrival);
    EXPECT_EQ(core::WaitForWakeEvents({arrival}, 0), 0u);

    line.Purge(true, false);
    EXPECT_EQ(line.WaitingCount(), 0);
    const auto purges = OfKind(line.Trace(), TraceKind::Purge);
    ASSERT_EQ(purges.size(), 1u);
    EXPECT_EQ(purges[0].byte, 1);
    line.SetBreak(true);
    line.SetBreak(true);  // no change, no event
    line.SetBreak(false);
    EXPECT_EQ(OfKind(line.Trace(), TraceKind::BreakOn).size(), 1u);
    EXPECT_EQ(OfKind(line.Trace(), TraceKind::BreakOff).size(), 1u);
}

TEST(SimLine, MonitorThreadSeesEveryArrivalThroughTheDescriptor) {
    SimLine line;
    Bytes sent;
    for (int i = 0; i < 40; ++i) sent.push_back(static_cast<std::uint8_t>(i * 7));
    Bytes seen;
    std::thread monitor([&] {
        while (seen.size() < sent.size() && core::WaitForWakeEvents({line.ArrivalFd()}, 500) == 1) {
            core::ResetWakeEvent(line.ArrivalFd());
            std::uint8_t buf[64];
            const int n = line.Read(buf, 64);
            seen.insert(seen.end(), buf, buf + n);
        }
    });
    for (std::uint8_t b : sent) line.Write(&b, 1);
    monitor.join();
    EXPECT_EQ(seen, sent);
}

TEST(SimLine, DefaultIdentificationFillsEveryDisplayedPlace) {
    // The tester shows all of block 0, data 1..13 of block 2, 1..10 of
    // block 4 and 4..13 of block 6: every one must be there and printable.
    const auto ident = PumpConfig::DefaultIdentData();
    const std::size_t needed[4] = {1, 13, 10, 13};
    for (int i = 0; i < 4; ++i) {
        EXPECT_GE(ident[i].size(), needed[i]) << "block " << 2 * i;
        for (char c : ident[i]) EXPECT_TRUE(c >= 0x20 && c < 0x7F) << "block " << 2 * i;
    }
}

TEST(SimLine, LostAndGarbageBytesOnTheWayToTheTester) {
    PumpConfig config;
    config.wakeDelayMs = 5;
    config.loseByteIndex = 1;      // 0x8C
    config.garbageAfterIndex = 2;  // after 0x51
    config.garbageByte = 0x7E;
    SimLine line(config);
    Tester t(line);
    t.WakeUp();
    EXPECT_EQ(t.ReadByte(500), 0x55);
    EXPECT_EQ(t.ReadByte(100), 0x51);
    EXPECT_EQ(t.ReadByte(100), 0x7E);
    const auto lost = OfKind(line.Trace(), TraceKind::LostByte);
    ASSERT_EQ(lost.size(), 1u);
    EXPECT_EQ(lost[0].byte, 0x8C);
    // The exchange goes on normally after the faults.
    t.Send(0xAE);
    EXPECT_EQ(t.ReceiveBlock()[1], 0);
    // A new wake-up pattern in the middle of the exchange starts it over,
    // with the byte indexes counted afresh.
    t.WakeUp();
    EXPECT_EQ(t.ReadByte(500), 0x55);
    EXPECT_EQ(t.ReadByte(100), 0x51);
    EXPECT_EQ(OfKind(line.Trace(), TraceKind::LostByte).size(), 2u);
}

TEST(SimLine, LateComplementAndUnitThatFallsSilent) {
    PumpConfig config;
    config.wakeDelayMs = 5;
    // 0xAE is tester byte 0, the 13 complements of identification block 0
    // are 1..13, so 14 is the length byte of the tester's first block.
    config.lateReplyIndex = 14;
    config.lateReplyMs = 60;
    config.stopAfterBlocks = 2;
    SimLine line(config);
    Tester t(line);
    t.WakeUp();
    ASSERT_NO_FATAL_FAILURE(t.Synchronise());
    ASSERT_EQ(t.ReceiveBlock().size(), 14u);
    t.Send(0x03);
    EXPECT_FALSE(t.ReadByte(30).has_value());
    EXPECT_EQ(t.ReadByte(100), 0xFC);  // about 60 ms late
    t.Send(0x01);
    EXPECT_EQ(t.ReadByte(20), 0xFE);  // the next one is on time again
    t.Send(0x09);
    EXPECT_EQ(t.ReadByte(20), 0xF6);
    t.Send(0x03);
    EXPECT_EQ(t.ReceiveBlock()[1], 2);
    // Two blocks sent: the unit says nothing more.
    EXPECT_FALSE(line.PumpAwake());
    t.Send(0x03);
    EXPECT_FALSE(t.ReadByte(100).has_value());
}

TEST(SimLine, DestructionReturnsPromptlyIdleAndMidBlock) {
    {
        auto line = std::make_unique<SimLine>();
        const auto start = Clock::now();
        line.reset();
        EXPECT_LT(MsSince(start), 200);
    }
    PumpConfig config;
    config.wakeDelayMs = 5;
    auto line = std::make_unique<SimLine>(config);
    Tester t(*line);
    t.WakeUp();
    ASSERT_NO_FATAL_FAILURE(t.Synchronise());
    ASSERT_TRUE(t.ReadByte().has_value());  // the unit now waits for a complement
    const auto start = Clock::now();
    line.reset();
    EXPECT_LT(MsSince(start), 200);
}

TEST(SimLine, UnusableConfigurationIsRefused) {
    const std::vector<void (*)(PumpConfig&)> spoilers = {
        [](PumpConfig& c) { c.identData[1] = std::string(253, 'x'); },
        [](PumpConfig& c) { c.faultBytesPerBlock = 0; },
        [](PumpConfig& c) { c.baudRate = 0; },
        [](PumpConfig& c) { c.replyDelayMs = -1; },
    };
    for (auto spoil : spoilers) {
        PumpConfig config;
        spoil(config);
        EXPECT_THROW(SimLine{config}, core::EInvalidOperation);
    }
    PumpConfig longest;
    longest.identData[0] = std::string(252, 'x');  // a block of length 255 is fine
    EXPECT_NO_THROW(SimLine{longest});
}

}  // namespace
}  // namespace pumpsim

namespace pumpsim {
namespace {

struct RecordingTransport : PumpTransport {
    void ByteArrived(std::uint8_t byte, bool lost, Clock::time_point at) override {
        if (!lost) arrived.push_back({byte, at});
    }
    std::vector<std::pair<std::uint8_t, Clock::time_point>> arrived;
};

TEST(PumpUnit, WaitsCountFromWhenTheTesterCouldSeeTheByte) {
    // The owner runs the unit late (a starved thread): the bytes keep their
    // line times, and the unit's waits for an answer start at delivery.
    PumpConfig config;
    RecordingTransport transport;
    PumpUnit unit(config, transport);
    const Clock::time_point t0 = Clock::now();
    unit.Wake(t0);
    const Clock::time_point late = t0 + std::chrono::seconds(3);
    unit.Advance(late);
    ASSERT_EQ(transport.arrived.size(), 3u);
    EXPECT_EQ(transport.arrived[2].first, 0x51);
    EXPECT_LT(transport.arrived[2].second, t0 + std::chrono::milliseconds(100));
    EXPECT_TRUE(unit.Awake());  // still waiting for the key, although 3 s have passed on the line
    unit.TesterByte(kKeyByte, late + std::chrono::milliseconds(5));
    unit.Advance(late + std::chrono::milliseconds(200));
    ASSERT_EQ(transport.arrived.size(), 4u);  // the length byte, then a wait for its complement
    unit.Advance(late + std::chrono::seconds(2));
    ASSERT_EQ(transport.arrived.size(), 5u);  // the wait counted from delivery at +200 ms
    EXPECT_EQ(transport.arrived[4].first, 0x00);  // counter of block 0
    EXPECT_GE(transport.arrived[4].second, late + std::chrono::milliseconds(300));
    EXPECT_LT(transport.arrived[4].second, late + std::chrono::milliseconds(310));
}

TEST(PumpUnit, WakeUpPatternWakesOnlyWithinItsTolerances) {
    using std::chrono::milliseconds;
    const struct Row {
        int firstMs, idleMs, secondMs;
        bool wakes;
    } rows[] = {
        {100, 100, 300, true},  {400, 400, 900, true},  // each part at its shortest, at its longest
        {99, 200, 500, false},  {401, 200, 500, false},  // first break too short, too long
        {200, 99, 500, false},  {200, 401, 500, false},  // idle
        {200, 200, 299, false}, {200, 200, 901, false},  // second break
    };
    for (const Row& row : rows) {
        RecordingTransport transport;
        PumpUnit unit(PumpConfig{}, transport);
        Clock::time_point at = Clock::now();
        unit.BreakChanged(true, at);
        unit.BreakChanged(false, at += milliseconds(row.firstMs));
        unit.BreakChanged(true, at += milliseconds(row.idleMs));
        unit.BreakChanged(false, at += milliseconds(row.secondMs));
        EXPECT_EQ(unit.Awake(), row.wakes) << row.firstMs << ", " << row.idleMs << ", " << row.secondMs;
    }
}

TEST(PumpUnit, BreaksSeenOnlyByTheirStartWakeTheUnit) {
    // A serial port reports a break once, when it starts (maybe repeated).
    RecordingTransport transport;
    PumpUnit unit(PumpConfig{}, transport);
    using std::chrono::milliseconds;
    const Clock::time_point t0 = Clock::now();
    unit.BreakPulse(t0);
    unit.BreakPulse(t0 + milliseconds(10));  // the same break reported again
    unit.BreakPulse(t0 + milliseconds(400));
    EXPECT_TRUE(unit.Awake());
    unit.Advance(t0 + milliseconds(930));  // the second break is still assumed on
    EXPECT_TRUE(transport.arrived.empty());
    unit.Advance(t0 + milliseconds(1000));
    ASSERT_FALSE(transport.arrived.empty());
    EXPECT_EQ(transport.arrived[0].first, 0x55);

    // Two breaks too far apart are no pattern.
    RecordingTransport other;
    PumpUnit apart(PumpConfig{}, other);
    apart.BreakPulse(t0);
    apart.BreakPulse(t0 + milliseconds(1500));
    EXPECT_FALSE(apart.Awake());
}

TEST(PumpUnit, StopAfterNoBlockStaysSilentAfterTheKey) {
    PumpConfig config;
    config.stopAfterBlocks = 0;
    RecordingTransport transport;
    PumpUnit unit(config, transport);
    const Clock::time_point t0 = Clock::now();
    unit.Wake(t0);
    unit.Advance(t0 + std::chrono::milliseconds(100));
    ASSERT_EQ(transport.arrived.size(), 3u);
    unit.TesterByte(kKeyByte, t0 + std::chrono::milliseconds(101));
    unit.Advance(t0 + std::chrono::milliseconds(500));
    EXPECT_EQ(transport.arrived.size(), 3u);
    EXPECT_FALSE(unit.Awake());
}

}  // namespace
}  // namespace pumpsim
