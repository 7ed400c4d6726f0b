// A stand-in for the window's GUI thread: one thread that runs posted tasks in
// order and fires the engine's two timers, so the engine's threading (effects
// handed over from the receive thread, handlers and ticks on this thread) is
// exercised as in the program.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <thread>

#include "engine_fakes.h"

namespace testing_support {

class EventLoop {
public:
    using Clock = std::chrono::steady_clock;

    EventLoop() : thread_([this] { Run(); }) {}
    ~EventLoop() {
        {
            std::lock_guard guard(mutex_);
            stop_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }

    void Post(std::function<void()> task) {
        {
            std::lock_guard guard(mutex_);
            tasks_.push_back(std::move(task));
        }
        cv_.notify_all();
    }

    // Runs `task` on the loop and waits for it; its exception comes back here.
    void Call(std::function<void()> task) {
        auto done = std::make_shared<std::promise<void>>();
        auto result = done->get_future();
        Post([task = std::move(task), done] {
            try {
                task();
                done->set_value();
            } catch (...) {
                done->set_exception(std::current_exception());
            }
        });
        result.get();
    }

    // On the loop thread: starts (when not running) or stops a timer, as a
    // window timer does: enabling a running timer changes nothing.
    void EnableTimer(int id, bool enabled, std::chrono::milliseconds interval, std::function<void()> tick) {
        auto& t = timers_[id];
        if (enabled && !t.enabled) t.next = Clock::now() + interval;
        t.enabled = enabled;
        t.interval = interval;
        t.tick = std::move(tick);
    }

private:
    struct TimerState {
        bool enabled = false;
        std::chrono::milliseconds interval{0};
        Clock::time_point next;
        std::function<void()> tick;
    };

    void Run() {
        std::unique_lock lock(mutex_);
        while (!stop_) {
            if (!tasks_.empty()) {
                auto task = std::move(tasks_.front());
                tasks_.pop_front();
                lock.unlock();
                task();
                lock.lock();
                continue;
            }
            auto wake = Clock::now() + std::chrono::hours(1);
            for (auto& [id, t] : timers_)
                if (t.enabled && t.next < wake) wake = t.next;
            if (Clock::now() >= wake) {
                for (auto& [id, t] : timers_) {
                    if (!t.enabled || Clock::now() < t.next) continue;
                    t.next += t.interval;
                    auto tick = t.tick;
                    lock.unlock();
                    tick();  // a failing tick would be shown by the window; here it ends the test
                    lock.lock();
                    break;
                }
                continue;
            }
            cv_.wait_until(lock, wake);
        }
    }

    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> tasks_;
    std::map<int, TimerState> timers_;  // touched only on the loop thread
    bool stop_ = false;
    std::thread thread_;
};

// The engine's view as the window provides it: every effect is posted to the
// GUI loop and applied there, in order, to a recorded window state; timer
// effects start and stop the loop's timers with the engine's tick handlers.
class LoopView : public protocol::EngineView {
public:
    LoopView(EventLoop& loop, RecordingView& model) : loop_(loop), model_(model) {}
    void Attach(protocol::PumpProtocol& engine) { engine_ = &engine; }

    void SetFieldText(protocol::IdentField f, const std::string& t) override {
        loop_.Post([this, f, t] { model_.SetFieldText(f, t); });
    }
    void SetMemo2Text(const std::string& t) override {
        loop_.Post([this, t] { model_.SetMemo2Text(t); });
    }
    void SetControlEnabled(protocol::Control c, bool e) override {
        loop_.Post([this, c, e] { model_.SetControlEnabled(c, e); });
    }
    void SetFaultButtonVisible(int code, bool v) override {
        loop_.Post([this, code, v] { model_.SetFaultButtonVisible(code, v); });
    }
    void SetFaultButtonHint(int code, const std::string& h) override {
        loop_.Post([this, code, h] { model_.SetFaultButtonHint(code, h); });
    }
    void SetStatusVisible(bool v) override {
        loop_.Post([this, v] { model_.SetStatusVisible(v); });
    }
    void SetTimerEnabled(protocol::Timer timer, bool enabled) override {
        loop_.Post([this, timer, enabled] {
            model_.SetTimerEnabled(timer, enabled);
            if (timer == protocol::Timer::Timer1)
                loop_.EnableTimer(1, enabled, std::chrono::milliseconds(1000), [this] { engine_->timer1Timer(); });
            else
                loop_.EnableTimer(2, enabled, std::chrono::milliseconds(50), [this] { engine_->Timer2Timer(); });
        });
    }

private:
    EventLoop& loop_;
    RecordingView& model_;
    protocol::PumpProtocol* engine_ = nullptr;
};

// Polls `condition` until it holds or `limit` has passed.
template <typename F>
bool WaitFor(F condition, std::chrono::milliseconds limit) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
}

}  // namespace testing_support
