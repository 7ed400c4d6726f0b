// Busy loops, one a core, for as long as the object lives: the load of a
// technician's laptop that is never idle.
#pragma once

#include <atomic>
#include <pthread.h>
#include <vector>

namespace soak {

class CpuHog {
public:
    // Each loop runs at normal priority even when the benchmark itself was
    // started at real-time priority, so that it competes the way other
    // programs do and cannot starve the machine.
    explicit CpuHog(unsigned loops);
    ~CpuHog();
    CpuHog(const CpuHog&) = delete;
    CpuHog& operator=(const CpuHog&) = delete;

private:
    std::atomic<bool> stop_{false};
    std::vector<pthread_t> threads_;
};

}  // namespace soak
