// The companion's console handler: Ctrl-C is only noted; closing the console
// (or logoff, shutdown), after which the system ends the process as soon as
// the handler returns, holds the process until the diagnosis has ended.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <memory>
#include <thread>

#include "cli/console_stop_win32.h"
#include "cli/stop_signals.h"

TEST(ConsoleStop, ClosingHoldsTheProcessUntilTheDiagnosisHasEndedAndCtrlCOnlyNotes) {
    struct Row {
        DWORD event;
        int signal;
        bool holds;
    };
    const Row rows[] = {{CTRL_C_EVENT, SIGINT, false},
                        {CTRL_BREAK_EVENT, SIGINT, false},
                        {CTRL_CLOSE_EVENT, SIGTERM, true},
                        {CTRL_LOGOFF_EVENT, SIGTERM, true},
                        {CTRL_SHUTDOWN_EVENT, SIGTERM, true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.event);
        auto stop = std::make_unique<cli::StopSignals>();
        std::atomic<bool> ended{false}, returned{false}, endedFirst{false};
        std::thread handler([&] {
            EXPECT_TRUE(cli::OnConsoleEvent(row.event));
            endedFirst = ended.load();
            returned = true;
        });
        for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
             stop->Received() == 0 && std::chrono::steady_clock::now() < end;)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_EQ(stop->Received().load(), row.signal);
        if (!row.holds) {
            handler.join();
            EXPECT_TRUE(returned);
            continue;
        }
        // The diagnosis takes a while to end; the handler must not return meanwhile.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_FALSE(returned);
        ended = true;
        stop.reset();
        handler.join();
        EXPECT_TRUE(endedFirst);
    }
    // Without a diagnosis in place the handler leaves the event to the system.
    EXPECT_FALSE(cli::OnConsoleEvent(CTRL_CLOSE_EVENT));
}
