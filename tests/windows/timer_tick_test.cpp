// The line's waits under a system timer the program cannot choose, played by
// stand-ins in the timer calls table: Windows 11 gives a minimised or
// covered window's process the default 15.625 ms tick, and even at 1 ms a
// sleep lasts one to two steps. A whole diagnosis against the simulated
// unit must still answer every block within its window.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "line_conversation.h"
#include "port_session.h"
// After the device layer's names, which the system's header also defines.
#include "core/realtime/avrt_calls_win32.h"
#include "played_tick.h"

using namespace testing_support;
using namespace std::chrono_literals;
using protocol::Control;

namespace {

std::vector<std::string> systemCalls;
// The line threads' registrations with the multimedia class scheduler.
std::atomic<int> registrations{0}, registered{0};

UINT WINAPI RecordedBegin(UINT ms) {
    systemCalls.push_back("period " + std::to_string(ms));
    return ::timeBeginPeriod(ms);
}
UINT WINAPI RecordedEnd(UINT ms) {
    systemCalls.push_back("period " + std::to_string(ms) + " given back");
    return ::timeEndPeriod(ms);
}
BOOL WINAPI RecordedThrottling(HANDLE, PROCESS_INFORMATION_CLASS kind, LPVOID state, DWORD) {
    const auto* throttling = static_cast<PROCESS_POWER_THROTTLING_STATE*>(state);
    systemCalls.push_back(kind != ProcessPowerThrottling                                         ? "other"
                          : throttling->ControlMask == PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION &&
                                  throttling->StateMask == 0                                     ? "timer honoured"
                          : throttling->ControlMask == 0 && throttling->StateMask == 0 ? "system decides"
                                                                                      : "other");
    return TRUE;
}

HANDLE WINAPI RecordedRegistration(LPCWSTR, LPDWORD index) {
    ++registrations;
    *index = static_cast<DWORD>(++registered);
    return reinterpret_cast<HANDLE>(static_cast<INT_PTR>(*index));
}
BOOL WINAPI RecordedRevert(HANDLE) {
    --registered;
    return TRUE;
}

struct PlayedTimer {
    explicit PlayedTimer(double tickMs) {
        PlayTick(tickMs);
        systemCalls.clear();
        core::Timers().timeBeginPeriod = RecordedBegin;
        core::Timers().timeEndPeriod = RecordedEnd;
        core::Timers().setProcessInformation = RecordedThrottling;
        registrations = registered = 0;
        core::Avrt().setMmThreadCharacteristics = RecordedRegistration;
        core::Avrt().revertMmThreadCharacteristics = RecordedRevert;
    }
    ~PlayedTimer() {
        core::Timers() = core::TimerCalls{};
        core::Avrt() = core::AvrtCalls{};
    }
};

TEST(CoarseTimer, AWholeDiagnosisAnswersEveryBlockInItsWindow) {
    struct Row {
        const char* timer;
        double tickMs;
    } rows[] = {{"a minimised window's 15.625 ms tick", 15.625}, {"1 ms steps, sleeps of one to two", 1.0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.timer);
        const PlayedTimer played(row.tickMs);
        {
            pumpsim::PumpConfig config;
            config.stopAfterBlocks = 30;
            PortSession d("SIM", config);
            d.Click(&protocol::PumpProtocol::Button3Click);
            ASSERT_TRUE(WaitFor([&] { return d.model.Enabled(Control::Button4); }, 30s)) << "no identification";
            d.Click(&protocol::PumpProtocol::Button4Click);
            ASSERT_TRUE(WaitFor([&] { return !d.model.Hint(0x5A).empty(); }, 30s)) << "no fault read";
            d.Click(&protocol::PumpProtocol::Button1Click);
            auto line = d.Line();
            ASSERT_TRUE(WaitFor([&] { return line->FaultMemory().empty(); }, 30s)) << "no erase";
            ASSERT_TRUE(WaitFor([&] { return d.model.Enabled(Control::Button3); }, 30s)) << "the unit never stopped";
            const Conversation c = ReadConversation(line->Trace());
            EXPECT_EQ(c.error, "");
            EXPECT_GE(c.blocks.size(), 8u);
            const std::vector<std::string> whileOpen{"timer honoured", "period 1"};
            EXPECT_EQ(systemCalls, whileOpen) << "what the open port asked of the system";
        }
        const std::vector<std::string> whole{"timer honoured", "period 1", "period 1 given back", "system decides"};
        EXPECT_EQ(systemCalls, whole) << "the closed port gives back what it took";
        EXPECT_GE(registrations, 1) << "the line threads were not raised";
        EXPECT_EQ(registered, 0) << "a line thread's registration outlived the port";
    }
}

}  // namespace
