// The main window without a screen: it takes the engine's effects, applies
// them in order on the thread that runs it (the companion's main thread,
// which plays the GUI thread) and fires the engine's two timers there, so the
// engine runs exactly as under the window.
//
// Threads:
//   queue_ (and the wake-up descriptor)  - any thread, under mutex_
//   display_, timers_, engine_            - the running thread only
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "protocol/engine_view.h"
#include "protocol/pump_protocol.h"

namespace cli {

// What the window would show.
struct Display {
    std::map<protocol::IdentField, std::string> fields;
    std::set<int> visibleFaults;  // fault codes whose button is shown
    std::map<int, std::string> hints;
    bool statusVisible = true;    // "no faults found"
    std::string memo;
    std::map<protocol::Control, bool> enabled{{protocol::Control::Button3, true},
                                              {protocol::Control::Button4, false},
                                              {protocol::Control::Button1, false}};
    int timer2Ticks = 0;
};

class HeadlessWindow final : public protocol::EngineView {
public:
    using Clock = std::chrono::steady_clock;

    HeadlessWindow();
    ~HeadlessWindow() override;
    HeadlessWindow(const HeadlessWindow&) = delete;
    HeadlessWindow& operator=(const HeadlessWindow&) = delete;

    void Attach(protocol::PumpProtocol& engine) { engine_ = &engine; }

    void SetFieldText(protocol::IdentField field, const std::string& text) override;
    void SetMemo2Text(const std::string& text) override;
    void SetControlEnabled(protocol::Control control, bool enabled) override;
    void SetFaultButtonVisible(int code, bool visible) override;
    void SetFaultButtonHint(int code, const std::string& hint) override;
    void SetStatusVisible(bool visible) override;
    void SetTimerEnabled(protocol::Timer timer, bool enabled) override;

    enum class Outcome { Done, TimedOut, Input };
    // Applies effects and fires timers until `done` holds (asked after every
    // effect and tick, and every 10 ms), `limit` has passed, or `inputFd`
    // (when not -1) becomes readable.
    Outcome RunUntil(const std::function<bool()>& done, Clock::duration limit, int inputFd = -1);

    const Display& State() const { return display_; }

private:
    struct TimerState {
        bool enabled = false;
        Clock::duration interval;
        Clock::time_point next;
    };

    void Post(std::function<void()> effect);
    bool ApplyPosted();
    bool FireDueTimers();

    std::mutex mutex_;
    std::deque<std::function<void()>> queue_;
    int wakeFd_ = -1;

    protocol::PumpProtocol* engine_ = nullptr;
    Display display_;
    std::map<protocol::Timer, TimerState> timers_{
        {protocol::Timer::Timer1, {false, std::chrono::milliseconds(1000), {}}},
        {protocol::Timer::Timer2, {false, std::chrono::milliseconds(50), {}}}};
};

}  // namespace cli
