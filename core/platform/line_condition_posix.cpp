#include "core/platform/line_condition.h"

#include <thread>

namespace core {

LineCondition::LineCondition() = default;
LineCondition::~LineCondition() = default;

void LineCondition::notify_all() { cv_.notify_all(); }

void LineCondition::wait(std::unique_lock<std::mutex>& lock) { cv_.wait(lock); }

void LineCondition::wait_until(std::unique_lock<std::mutex>& lock, std::chrono::steady_clock::time_point deadline) {
    cv_.wait_until(lock, deadline);
}

void LineSleepUntil(std::chrono::steady_clock::time_point deadline) { std::this_thread::sleep_until(deadline); }

}  // namespace core
