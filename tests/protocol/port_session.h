// A diagnosis session as the main window runs it, without the window: the
// window's port component (here usually on the simulated pump, port SIM),
// the engine with its arrivals on the port's monitoring thread, and a GUI
// loop for effects, button handlers and timers.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "core/realtime/thread_priority.h"

#include "event_loop.h"
#include "serial/device/sim_device.h"
#include "window/port_component.h"

namespace testing_support {

// What the window's creation and its port opening do, on the GUI thread.
inline void OpenAsTheWindowDoes(protocol::PumpProtocol& engine, window::PortComponent& com,
                                const std::string& portName) {
    engine.SetFirstStartValues();
    engine.ClearSynced();
    com.SetPort(portName);
    com.OpenPort();
    com.PurgeBuffers(true, true);
    engine.SetRemainingStartValues();
}

class PortSession {
public:
    explicit PortSession(const std::string& portName = "SIM", const pumpsim::PumpConfig& config = {}) {
        serial::device::SetSimulatedPumpConfig(config);
        view.Attach(engine);
        com->OnRxChar = [this](int count) { engine.Rx(count); };
        gui.Call([&] { OpenAsTheWindowDoes(engine, *com, portName); });
    }
    // The port closes first, so no arrival reaches an engine being destroyed.
    ~PortSession() {
        gui.Call([&] { com->ClosePort(); });
    }

    void Click(void (protocol::PumpProtocol::*handler)()) {
        gui.Call([&] {
            // As the window does: the wake-up pattern is timed at real-time priority.
            std::optional<core::ScopedRealTimePriority> onTime;
            if (handler == &protocol::PumpProtocol::Button3Click) onTime.emplace();
            (engine.*handler)();
        });
    }
    // Runs `read` on the GUI loop, where the window state lives.
    template <typename F>
    auto OnGui(F read) {
        decltype(read()) result;
        gui.Call([&] { result = read(); });
        return result;
    }
    std::shared_ptr<pumpsim::SimLine> Line() const { return serial::device::CurrentSimulatedLine(); }

    // The loop is stopped (its thread joined) before the state it applies to goes.
    RecordingView model;
    EventLoop gui;
    LoopView view{gui, model};
    std::unique_ptr<window::PortComponent> com = window::MakeComPort();
    protocol::PumpProtocol engine{*com, view};
};

}  // namespace testing_support
