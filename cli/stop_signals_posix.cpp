#include "cli/stop_signals.h"

#include <pthread.h>
#include <signal.h>
#include <time.h>

namespace cli {

namespace {

sigset_t StopSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

}  // namespace

StopSignals::StopSignals() {
    const sigset_t set = StopSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    waiter_ = std::thread([this, set] {
        // Looks up now and then whether it is still needed.
        const timespec period{0, 100'000'000};
        while (!done_) {
            const int signal = sigtimedwait(&set, nullptr, &period);
            if (signal > 0 && received_ == 0) received_ = signal;
        }
    });
}

StopSignals::~StopSignals() {
    done_ = true;
    waiter_.join();
}

}  // namespace cli
