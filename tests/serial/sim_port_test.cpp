// The port on the simulated pump line (port name SIM).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "core/platform/delay.h"
#include "serial/com_port.h"
#include "serial/device/sim_device.h"

using namespace serial;
using namespace std::chrono_literals;

TEST(SimulatedPort, WakeUpPatternBringsTheSyncBytesThroughRxChar) {
    device::SetSimulatedPumpConfig(pumpsim::PumpConfig{});
    TComPort port;
    port.SetPort("sim");
    port.SetEvents({evRxChar});
    port.SetSyncMethod(smNone);
    port.Parity().SetBits(prEven);
    port.Timeouts().SetWriteTotalConstant(100);
    std::mutex lock;
    std::string received;
    port.OnRxChar = [&](TCustomComPort& p, int count) {
        std::string text;
        p.ReadText(text, count);
        std::lock_guard guard(lock);
        received += text;
    };
    port.OpenPort();
    auto line = device::CurrentSimulatedLine();
    ASSERT_NE(line, nullptr);
    EXPECT_FALSE(line->PumpAwake());

    port.SetBreakState(true);
    core::DelayMs(200);
    port.SetBreakState(false);
    core::DelayMs(200);
    port.SetBreakState(true);
    core::DelayMs(500);
    port.SetBreakState(false);
    port.PurgeBuffers(true, true);

    const auto end = std::chrono::steady_clock::now() + 2s;
    for (;;) {
        {
            std::lock_guard guard(lock);
            if (received.size() >= 3 || std::chrono::steady_clock::now() > end) break;
        }
        std::this_thread::sleep_for(5ms);
    }
    std::lock_guard guard(lock);
    EXPECT_EQ(received, "\x55\x8C\x51");
    EXPECT_TRUE(line->PumpAwake());
}

TEST(SimulatedPort, EachOpeningGetsItsOwnLineAndClosingEndsIt) {
    TComPort port;
    port.SetPort("SIM");
    port.SetEvents({});
    port.OpenPort();
    auto first = device::CurrentSimulatedLine();
    port.ClosePort();
    port.OpenPort();
    EXPECT_NE(device::CurrentSimulatedLine(), first);
    std::string text;
    EXPECT_EQ(port.WriteText("\x01"), 1);
    for (int poll = 0; poll < 200 && text.empty(); ++poll) {
        port.ReadText(text, 1);
        if (text.empty()) core::DelayMs(1);
    }
    EXPECT_EQ(text, "\x01");  // the adapter's echo
    port.ClosePort();
    first.reset();
    EXPECT_EQ(device::CurrentSimulatedLine(), nullptr);
}

// Each purge reaches the line with its own sides.
TEST(SimulatedPort, PurgesReachTheLineWithTheirSides) {
    TComPort port;
    port.SetPort("SIM");
    port.SetEvents({});
    port.OpenPort();
    auto line = device::CurrentSimulatedLine();
    ASSERT_NE(line, nullptr);
    line->ClearTrace();
    const struct {
        bool input, output;
        std::uint8_t recorded;  // 1 input, 2 output
    } rows[] = {{true, true, 3}, {false, true, 2}, {true, false, 1}};
    for (const auto& row : rows) port.PurgeBuffers(row.input, row.output);
    std::vector<std::uint8_t> recorded;
    for (const auto& entry : line->Trace())
        if (entry.kind == pumpsim::TraceKind::Purge) recorded.push_back(entry.byte);
    ASSERT_EQ(recorded.size(), std::size(rows));
    for (std::size_t i = 0; i < std::size(rows); ++i)
        EXPECT_EQ(recorded[i], rows[i].recorded) << "purge " << rows[i].input << "," << rows[i].output;
}
