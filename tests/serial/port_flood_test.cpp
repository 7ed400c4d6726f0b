// A line that never stops sending: the far end of a pseudo-terminal writes as
// fast as it can while the port is closed.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <thread>

#include "line_flood.h"
#include "port_test_support.h"

using namespace serial;
using namespace std::chrono_literals;

TEST(PortUnderFlood, ClosingReturnsAtOnce) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    TComPort port;
    port.SetPort(pty.SlavePath());
    ConfigureAsProgram(port);
    std::atomic<long> arrivals{0};
    // As the engine does: reads what was announced, then polls for the next
    // byte, so that bytes are always waiting when the handler returns.
    port.OnRxChar = [&](TCustomComPort& p, int count) {
        ++arrivals;
        std::string text;
        p.ReadText(text, count);
        for (int poll = 0; poll < 20 && p.ReadText(text, 1) == 0; ++poll) std::this_thread::sleep_for(1ms);
    };
    port.OpenPort();
    auto flood = std::make_unique<LineFlood>(pty.Master());
    for (int i = 0; i < 500 && arrivals < 20; ++i) std::this_thread::sleep_for(10ms);
    ASSERT_GE(arrivals, 20) << "the flood must reach the handler";

    auto closing = std::async(std::launch::async, [&] {
        const auto start = std::chrono::steady_clock::now();
        port.ClosePort();
        return std::chrono::steady_clock::now() - start;
    });
    const bool returned = closing.wait_for(5s) == std::future_status::ready;
    flood.reset();  // a close that hangs returns once the line is quiet
    EXPECT_TRUE(returned);
    EXPECT_LT(closing.get(), 1s);
    EXPECT_FALSE(port.Connected());
}
