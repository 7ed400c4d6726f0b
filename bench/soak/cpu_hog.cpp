#include "cpu_hog.h"

#include <sched.h>

#include <cstdio>
#include <cstring>

namespace soak {

namespace {

void* Spin(void* arg) {
    auto* stop = static_cast<std::atomic<bool>*>(arg);
    volatile unsigned long work = 0;
    while (!stop->load(std::memory_order_relaxed)) work = work + 1;
    return nullptr;
}

}  // namespace

CpuHog::CpuHog(unsigned loops) {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setinheritsched(&attr, PTHREAD_EXPLICIT_SCHED);
    pthread_attr_setschedpolicy(&attr, SCHED_OTHER);
    sched_param normal{};
    pthread_attr_setschedparam(&attr, &normal);
    for (unsigned i = 0; i < loops; ++i) {
        pthread_t thread;
        const int error = pthread_create(&thread, &attr, Spin, &stop_);
        if (error != 0) {
            std::fprintf(stderr, "soak: cannot start a busy loop: %s\n", std::strerror(error));
            continue;
        }
        threads_.push_back(thread);
    }
    pthread_attr_destroy(&attr);
}

CpuHog::~CpuHog() {
    stop_ = true;
    for (pthread_t thread : threads_) pthread_join(thread, nullptr);
}

}  // namespace soak
