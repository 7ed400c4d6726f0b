// The main window's headless face: the form's logic (window/form_logic.h) with
// no screen. It applies the engine's effects in order on the thread that runs
// it (the companion's main thread, which plays the GUI thread) and fires the
// form's two timers there, so the engine runs exactly as under the window.
//
// Threads:
//   queue_ (and the wake-up descriptor)  - any thread, under mutex_
//   the form's state, timers_            - the running thread only
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "window/form_face.h"
#include "window/form_logic.h"

namespace cli {

// What the window would show.
using Display = window::FormState;

class HeadlessWindow final : private window::FormFace, public window::FormLogic {
public:
    using Clock = std::chrono::steady_clock;

    explicit HeadlessWindow(window::PortComponent& com);
    ~HeadlessWindow() override;

    enum class Outcome { Done, TimedOut, Input };
    // Applies effects and fires timers until `done` holds (asked after every
    // effect and tick, and every 10 ms), `limit` has passed, or `inputFd`
    // (when not -1) becomes readable.
    Outcome RunUntil(const std::function<bool()>& done, Clock::duration limit, int inputFd = -1);

private:
    struct TimerState {
        bool running = false;
        Clock::time_point next;
    };

    void Post(std::function<void()> effect) override;
    void Draw(window::FormPart part, int index) override;
    // Without a screen a line is never broken.
    std::vector<std::string> Memo2Lines(const std::string& line) override { return {line}; }
    std::string Memo2Text() const override { return State().memo2; }
    void FocusMemo2() override {}
    void ShowBox(const window::BoxRecord& box) override;
    // Without a screen nothing is edited, and nothing opened: the path is
    // named instead.
    bool EditFields(window::FieldsDialog&) override { return false; }
    void OpenInSystem(const std::string& path, std::function<void(bool opened)> answered) override;

    bool ApplyPosted();
    bool FireDueTimers();

    std::mutex mutex_;
    std::deque<std::function<void()>> queue_;
    int wakeFd_ = -1;

    std::map<protocol::Timer, TimerState> timers_{{protocol::Timer::Timer1, {}}, {protocol::Timer::Timer2, {}}};
};

}  // namespace cli
