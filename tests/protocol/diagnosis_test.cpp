// Whole diagnoses against the simulated pump, driven through the engine's
// entry points, with arrivals on the port's monitoring thread and a GUI loop
// for effects and timers.
#include <gtest/gtest.h>

#include <algorithm>

#include "line_conversation.h"
#include "port_session.h"

using namespace testing_support;
using namespace std::chrono_literals;
using protocol::Control;
using protocol::IdentField;

namespace {

struct Diagnosis : PortSession {
    explicit Diagnosis(const pumpsim::PumpConfig& config = {}) : PortSession("SIM", config) {}
    void Start() { Click(&protocol::PumpProtocol::Button3Click); }
};

TEST(WholeDiagnosis, IdentifiesReadsAndClearsFaultsThenWatchdogStops) {
    pumpsim::PumpConfig config;
    config.stopAfterBlocks = 40;
    Diagnosis d(config);
    d.Start();
    ASSERT_TRUE(WaitFor([&] { return d.model.Enabled(Control::Button4); }, 30s)) << "identification did not complete";
    EXPECT_TRUE(d.model.Enabled(Control::Button1));
    EXPECT_FALSE(d.model.Enabled(Control::Button3));
    for (auto f : {IdentField::OrName, IdentField::Id, IdentField::SerialNumber, IdentField::BoschNumber})
        EXPECT_FALSE(d.model.Field(f).empty());

    d.Click(&protocol::PumpProtocol::Button4Click);
    ASSERT_TRUE(WaitFor([&] { return !d.model.Hint(0x5A).empty(); }, 30s)) << "fault read did not complete";
    EXPECT_EQ(d.model.VisibleButtons(), (std::vector<int>{0x53, 0x5A}));
    EXPECT_EQ(d.model.Hint(0x53), "Сетчик ошибок 2");
    EXPECT_EQ(d.model.Hint(0x5A), "Сетчик ошибок 17");
    EXPECT_EQ(d.model.memo2, "Проверка Ошибок");

    d.Click(&protocol::PumpProtocol::Button1Click);
    ASSERT_TRUE(WaitFor([&] { return d.model.VisibleButtons().empty(); }, 30s));
    auto line = d.Line();
    ASSERT_NE(line, nullptr);
    EXPECT_TRUE(WaitFor([&] { return line->FaultMemory().empty(); }, 30s));

    // the unit falls silent after its 40th block: the watchdog gives the
    // start button back
    EXPECT_TRUE(WaitFor([&] { return d.model.Enabled(Control::Button3); }, 30s));
    Conversation c = ReadConversation(line->Trace());

    // the monitoring thread is still there: a new start identifies again
    d.Start();
    auto identifications = [&] {
        return d.OnGui([&] { return std::count(d.model.log.begin(), d.model.log.end(), "enable 1=1"); });
    };
    EXPECT_TRUE(WaitFor([&] { return identifications() >= 3; }, 30s))
        << "the read's display timer enabled Button4 once, each identification once";

    ASSERT_EQ(c.error, "");
    ASSERT_GE(c.blocks.size(), 8u);
    auto ident = pumpsim::PumpConfig::DefaultIdentData();
    for (int k = 0; k < 4; ++k) {
        const LineBlock& pump = c.blocks[static_cast<size_t>(2 * k)];
        const LineBlock& tester = c.blocks[static_cast<size_t>(2 * k + 1)];
        EXPECT_TRUE(pump.fromPump);
        EXPECT_EQ(pump.Counter(), 2 * k);
        EXPECT_EQ(pump.Data(), ident[static_cast<size_t>(k)]);
        EXPECT_EQ(tester.bytes, (std::vector<std::uint8_t>{0x03, static_cast<std::uint8_t>(2 * k + 1), 0x09, 0x03}));
    }
    int reads = 0, clears = 0;
    for (size_t b = 1; b < c.blocks.size(); b += 2) {
        const LineBlock& tester = c.blocks[b];
        EXPECT_EQ(tester.Counter(), static_cast<std::uint8_t>(c.blocks[b - 1].Counter() + 1));
        ASSERT_EQ(tester.bytes.size(), 4u);
        reads += tester.Title() == 0x07;
        clears += tester.Title() == 0x05;
        EXPECT_TRUE(tester.Title() == 0x09 || tester.Title() == 0x07 || tester.Title() == 0x05);
    }
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(clears, 1);
}

TEST(WholeDiagnosis, FieldsShowTheUnitsIdentification) {
    pumpsim::PumpConfig config;
    config.identData = {"0470504026", "HZ12345678901", "ABC1231234", "0000460414999"};
    Diagnosis d(config);
    d.Start();
    ASSERT_TRUE(WaitFor([&] { return d.model.Enabled(Control::Button4); }, 30s));
    EXPECT_EQ(d.model.Field(IdentField::OrName), "0470504026");
    EXPECT_EQ(d.model.Field(IdentField::Id), "HZ1234567 8901");
    EXPECT_EQ(d.model.Field(IdentField::SerialNumber), "ABC123    1234");
    EXPECT_EQ(d.model.Field(IdentField::BoschNumber), "0 460 414 999");
}

TEST(LineFaults, NoEchoNeverSynchronisesIntoBlocksButDoesNotHang) {
    pumpsim::PumpConfig config;
    config.adapterEcho = false;
    Diagnosis d(config);
    d.Start();
    // without the echo every answer is taken late and the exchange derails;
    // the watchdog still gives the start button back
    EXPECT_TRUE(WaitFor([&] { return d.model.Enabled(Control::Button3); }, 30s));
    EXPECT_FALSE(d.model.Enabled(Control::Button4));
}

TEST(LineFaults, LostOrLateOrGarbageBytesDerailWithoutCrashOrHang) {
    for (int fault = 0; fault < 3; ++fault) {
        pumpsim::PumpConfig config;
        config.stopAfterBlocks = 12;
        if (fault == 0) config.loseByteIndex = 10;
        if (fault == 1) { config.lateReplyIndex = 3; config.lateReplyMs = 30; }
        if (fault == 2) config.garbageAfterIndex = 6;
        Diagnosis d(config);
        d.Start();
        EXPECT_TRUE(WaitFor([&] { return d.model.Enabled(Control::Button3); }, 30s)) << "fault " << fault;
    }
}

}  // namespace
