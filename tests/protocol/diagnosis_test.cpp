// Whole diagnoses against the simulated pump, driven through the engine's
// entry points, with arrivals on the port's monitoring thread and a GUI loop
// for effects and timers.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

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

// How late a thread at normal priority wakes from short sleeps while it
// lives. The engine answers the unit within windows of 10 ms; a machine that
// wakes a thread later than that keeps the link only by real time.
class WakeLateness {
public:
    WakeLateness() : thread_([this] { Run(); }) {}
    ~WakeLateness() {
        stop_ = true;
        thread_.join();
    }
    double WorstMs() const { return static_cast<double>(worstUs_) / 1000.0; }

private:
    void Run() {
        using namespace std::chrono;
        while (!stop_) {
            const auto start = steady_clock::now();
            std::this_thread::sleep_for(2ms);
            const long long late = duration_cast<microseconds>(steady_clock::now() - start - 2ms).count();
            if (late > worstUs_) worstUs_ = late;
        }
    }
    std::atomic<bool> stop_{false};
    std::atomic<long long> worstUs_{0};
    std::thread thread_;
};
constexpr double kLinkWindowMs = 10.0;

// Whether the link held until `done`. Without real time on a busy machine
// (Wine cannot raise a thread without a real-time class for the process) the
// line threads wake too late for the unit and the link is lost whatever the
// engine does: the watchdog must then still give the start button back, and
// the rest of the test, which needs the link, is skipped.
template <typename Done>
bool LinkHeld(Diagnosis& d, const WakeLateness& lateness, Done done, const char* what) {
    if (WaitFor(done, 30s)) return true;
    if (lateness.WorstMs() <= kLinkWindowMs) {
        ADD_FAILURE() << what << " did not complete";
        return false;
    }
    EXPECT_TRUE(WaitFor([&] { return d.model.Enabled(Control::Button3); }, 30s))
        << "the start button stayed off after the link was lost";
    [&] { GTEST_SKIP() << what << " did not complete: threads woke up to " << lateness.WorstMs() << " ms late"; }();
    return false;
}

TEST(WholeDiagnosis, IdentifiesReadsAndClearsFaultsThenWatchdogStops) {
    pumpsim::PumpConfig config;
    config.stopAfterBlocks = 40;
    Diagnosis d(config);
    const WakeLateness lateness;
    d.Start();
    if (!LinkHeld(d, lateness, [&] { return d.model.Enabled(Control::Button4); }, "identification")) return;
    EXPECT_TRUE(d.model.Enabled(Control::Button1));
    EXPECT_FALSE(d.model.Enabled(Control::Button3));
    for (auto f : {IdentField::OrName, IdentField::Id, IdentField::SerialNumber, IdentField::BoschNumber})
        EXPECT_FALSE(d.model.Field(f).empty());

    d.Click(&protocol::PumpProtocol::Button4Click);
    if (!LinkHeld(d, lateness, [&] { return !d.model.Hint(0x5A).empty(); }, "fault read")) return;
    EXPECT_EQ(d.model.VisibleButtons(), (std::vector<int>{0x53, 0x5A}));
    EXPECT_EQ(d.model.Hint(0x53), "Сетчик ошибок 2");
    EXPECT_EQ(d.model.Hint(0x5A), "Сетчик ошибок 17");
    EXPECT_EQ(d.model.memo2, "Проверка Ошибок");

    d.Click(&protocol::PumpProtocol::Button1Click);
    auto line = d.Line();
    ASSERT_NE(line, nullptr);
    if (!LinkHeld(d, lateness, [&] { return d.model.VisibleButtons().empty() && line->FaultMemory().empty(); }, "erase"))
        return;

    // the unit falls silent after its 40th block: the watchdog gives the
    // start button back
    EXPECT_TRUE(WaitFor([&] { return d.model.Enabled(Control::Button3); }, 30s));
    Conversation c = ReadConversation(line->Trace());
    if (!c.error.empty() && lateness.WorstMs() > kLinkWindowMs)
        GTEST_SKIP() << "threads woke up to " << lateness.WorstMs() << " ms late: " << c.error;

    // the monitoring thread is still there: a new start identifies again
    d.Start();
    auto identifications = [&] {
        return d.OnGui([&] { return std::count(d.model.log.begin(), d.model.log.end(), "enable 1=1"); });
    };
    if (!LinkHeld(d, lateness, [&] { return identifications() >= 3; },
                  "the second identification (the read's display timer enabled Button4 once, each identification once)"))
        return;

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
