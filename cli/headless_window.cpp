#include "cli/headless_window.h"

#include <algorithm>
#include <cstdio>

#include "core/platform/wake_event.h"

namespace cli {

namespace {
constexpr auto kDonePoll = std::chrono::milliseconds(10);
}

HeadlessWindow::HeadlessWindow(window::PortComponent& com)
    : FormLogic(*this, com), wakeFd_(core::CreateWakeEvent()) {}

HeadlessWindow::~HeadlessWindow() {
    // No effect may arrive once the wake event is gone.
    EndLine();
    core::CloseWakeEvent(wakeFd_);
}

void HeadlessWindow::Post(std::function<void()> effect) {
    {
        std::lock_guard guard(mutex_);
        queue_.push_back(std::move(effect));
    }
    core::SignalWakeEvent(wakeFd_);
}

void HeadlessWindow::Draw(window::FormPart part, int index) {
    if (part != window::FormPart::Timer) return;  // the rest is read from the state
    const auto timer = static_cast<protocol::Timer>(index);
    TimerState& t = timers_[timer];
    const bool enabled = State().timers.at(timer);
    // Enabling a running timer leaves its period as it is.
    if (enabled && !t.running) t.next = Clock::now() + std::chrono::milliseconds(window::TimerIntervalMs(timer));
    t.running = enabled;
}

void HeadlessWindow::ShowBox(const window::BoxRecord& box) {
    std::fprintf(stderr, "%s: %s\n", box.title.c_str(), box.text.c_str());
}

void HeadlessWindow::OpenInSystem(const std::string& path, std::function<void(bool opened)> answered) {
    std::fprintf(stderr, "%s\n", path.c_str());
    answered(true);
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
        if (!t.running || Clock::now() < t.next) continue;
        t.next += std::chrono::milliseconds(window::TimerIntervalMs(timer));
        if (timer == protocol::Timer::Timer1) timer1Timer();
        else Timer2Timer();
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
            if (t.running) wake = std::min(wake, t.next);
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(wake - now).count();
        const int input = inputFd >= 0 ? core::InputWakeId(inputFd) : -1;
        if (core::WaitForWakeEvents({wakeFd_, input}, static_cast<int>(std::max<long long>(ms, 0))) & 2)
            return Outcome::Input;
    }
}

}  // namespace cli
