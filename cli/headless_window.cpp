#include "cli/headless_window.h"

#include <algorithm>

#include "core/wake_event.h"

namespace cli {

namespace {
constexpr auto kDonePoll = std::chrono::milliseconds(10);
}

HeadlessWindow::HeadlessWindow() : wakeFd_(core::CreateWakeEvent()) {}

HeadlessWindow::~HeadlessWindow() {
    core::CloseWakeEvent(wakeFd_);
}

void HeadlessWindow::Post(std::function<void()> effect) {
    {
        std::lock_guard guard(mutex_);
        queue_.push_back(std::move(effect));
    }
    core::SignalWakeEvent(wakeFd_);
}

void HeadlessWindow::SetFieldText(protocol::IdentField field, const std::string& text) {
    Post([this, field, text] { display_.fields[field] = text; });
}

void HeadlessWindow::SetMemo2Text(const std::string& text) {
    Post([this, text] { display_.memo = text; });
}

void HeadlessWindow::SetControlEnabled(protocol::Control control, bool enabled) {
    Post([this, control, enabled] { display_.enabled[control] = enabled; });
}

void HeadlessWindow::SetFaultButtonVisible(int code, bool visible) {
    Post([this, code, visible] {
        if (visible) display_.visibleFaults.insert(code);
        else display_.visibleFaults.erase(code);
    });
}

void HeadlessWindow::SetFaultButtonHint(int code, const std::string& hint) {
    Post([this, code, hint] { display_.hints[code] = hint; });
}

void HeadlessWindow::SetStatusVisible(bool visible) {
    Post([this, visible] { display_.statusVisible = visible; });
}

void HeadlessWindow::SetTimerEnabled(protocol::Timer timer, bool enabled) {
    Post([this, timer, enabled] {
        TimerState& t = timers_[timer];
        // Enabling a running timer leaves its period as it is.
        if (enabled && !t.enabled) t.next = Clock::now() + t.interval;
        t.enabled = enabled;
    });
}

bool HeadlessWindow::ApplyPosted() {
    core::ResetWakeEvent(wakeFd_);
    bool any = false;
    for (;;) {
        std::function<void()> effect;
        {
            std::lock_guard guard(mutex_);
            if (queue_.empty()) return any;
            effect = std::move(queue_.front());
            queue_.pop_front();
        }
        effect();
        any = true;
    }
}

bool HeadlessWindow::FireDueTimers() {
    bool any = false;
    for (auto& [timer, t] : timers_) {
        if (!t.enabled || Clock::now() < t.next || !engine_) continue;
        t.next += t.interval;
        if (timer == protocol::Timer::Timer1) {
            engine_->timer1Timer();
        } else {
            engine_->Timer2Timer();
            ++display_.timer2Ticks;
        }
        any = true;
    }
    return any;
}

HeadlessWindow::Outcome HeadlessWindow::RunUntil(const std::function<bool()>& done, Clock::duration limit,
                                                 int inputFd) {
    const auto end = Clock::now() + limit;
    for (;;) {
        ApplyPosted();
        FireDueTimers();
        ApplyPosted();
        if (done()) return Outcome::Done;
        const auto now = Clock::now();
        if (now >= end) return Outcome::TimedOut;
        auto wake = std::min(end, now + kDonePoll);
        for (const auto& [timer, t] : timers_)
            if (t.enabled) wake = std::min(wake, t.next);
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(wake - now).count();
        const int input = inputFd >= 0 ? core::InputWakeId(inputFd) : -1;
        if (core::WaitForWakeEvents({wakeFd_, input}, static_cast<int>(std::max<long long>(ms, 0))) & 2)
            return Outcome::Input;
    }
}

}  // namespace cli
