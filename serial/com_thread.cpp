#include "serial/com_thread.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "core/realtime/line_priority.h"
#include "core/platform/wake_event.h"

namespace serial {

namespace {

// The pause after a failed wait: the engine's own poll.
constexpr int kFailedWaitPauseMs = 1;

// The fixed order in which the events of one cycle are handed on.
constexpr TComEvent kDispatchOrder[] = {evError, evRxChar, evTxEmpty, evBreak, evRing,
                                        evCTS,   evDSR,    evRxFlag,  evRLSD,  evRx80Full};

// One cycle handed to the GUI thread under smThreadSync.
struct SyncTask {
    enum class Phase { Pending, Running, Done, Cancelled };
    std::mutex lock;
    std::condition_variable changed;
    Phase phase = Phase::Pending;
    std::exception_ptr error;
};

}  // namespace

struct TComThread::State {
    TCustomComPort* port = nullptr;
    std::shared_ptr<TCustomComPort::Life> life;
    unsigned long opening = 0;  // the port's opening this thread watches
    std::shared_ptr<device::SerialDevice> device;
    int stopFd = -1;
    std::atomic<bool> stopping{false};
    std::atomic<bool> finished{false};
    mutable std::mutex lock;
    std::exception_ptr fatal;
    std::shared_ptr<SyncTask> current;
    std::thread thread;

    ~State() {
        core::CloseWakeEvent(stopFd);
    }

    void Run() {
        // The engine answers the pump from this thread within milliseconds;
        // the priority is asked for again at each start of the link, and
        // given back when monitoring ends with the port's closing.
        const core::LineThreadPriority onTime;
        for (;;) {
            std::uint32_t mask = 0;
            const device::WaitResult result = device->WaitEvent(stopFd, mask);
            if (result == device::WaitResult::Stopped || stopping) break;
            if (result == device::WaitResult::Gone) {
                // The device went away: no wait can succeed again, and the
                // end-of-loop steps would only be refused.
                End(std::make_exception_ptr(EComPort::Removed(CError_WaitFailed, -1, port->openedPort_)));
                return;
            }
            if (result == device::WaitResult::Failed) {
                // A failed wait (a driver's refusal, an adapter's glitch) does
                // not end monitoring while the port is open; the pause keeps a
                // wait that fails at once from spinning.
                if (core::WaitForWakeEvents({stopFd}, kFailedWaitPauseMs) != 0) break;
                continue;
            }
            try {
                DeliverEvents(MaskToEvents(mask));
            } catch (...) {
                // A handler's error ends monitoring quietly; the port stays
                // open. One that found the device gone is the device's end.
                End(std::current_exception());
                return;
            }
        }
        // Bytes still queued are discarded with the end of monitoring.
        device->SetEventMask(0);
        device->Purge(true, true);
        finished = true;
    }

    // Monitoring ends for `why`; the owner hears of a removed device.
    void End(std::exception_ptr why) {
        {
            std::lock_guard guard(lock);
            fatal = why;
        }
        finished = true;
        if (IsRemoval(why) && !stopping) TellRemoved();
    }

    static bool IsRemoval(const std::exception_ptr& why) {
        try {
            std::rethrow_exception(why);
        } catch (const EComPort& error) {
            return error.DeviceRemoved();
        } catch (...) {
            return false;
        }
    }

    // OnRemoved, where the other events of the port go when it has a
    // dispatcher; not for a port closed (or opened again) in between.
    void TellRemoved() {
        auto step = [life = life, opening = opening] {
            std::lock_guard guard(life->lock);
            TCustomComPort* target = life->port;
            if (!target || !target->Connected() || life->opening != opening) return;
            try {
                target->FireRemoved();
            } catch (...) {
                HandleApplicationException(target, std::current_exception());
            }
        };
        if (TGuiDispatcher dispatcher = port->GuiDispatcher) {
            dispatcher(step);
        } else {
            step();
        }
    }

    void DeliverEvents(TComEvents events) {
        switch (port->SyncMethod()) {
            case smNone:
                DispatchEvents(port, events);
                break;
            case smThreadSync:
                DispatchOnGuiThread(events);
                break;
            case smWindowSync:
                SendEventMessages(events);
                break;
        }
    }

    static void DispatchEvents(TCustomComPort* port, TComEvents events) {
        for (TComEvent e : kDispatchOrder) {
            if (events.Contains(e)) port->DispatchEvent(e);
        }
    }

    // Runs the cycle on the GUI thread and waits for it; its error is raised
    // here. A stop request while the cycle still waits for the GUI thread
    // abandons it, so that closing from the GUI thread cannot deadlock.
    void DispatchOnGuiThread(TComEvents events) {
        TGuiDispatcher dispatcher = port->GuiDispatcher;
        if (!dispatcher) {
            DispatchEvents(port, events);
            return;
        }
        auto task = std::make_shared<SyncTask>();
        {
            std::lock_guard guard(lock);
            if (stopping) return;
            current = task;
        }
        TCustomComPort* target = port;
        dispatcher([task, target, events] {
            {
                std::lock_guard guard(task->lock);
                if (task->phase != SyncTask::Phase::Pending) return;
                task->phase = SyncTask::Phase::Running;
            }
            std::exception_ptr error;
            try {
                DispatchEvents(target, events);
            } catch (...) {
                error = std::current_exception();
            }
            {
                std::lock_guard guard(task->lock);
                task->error = error;
                task->phase = SyncTask::Phase::Done;
            }
            task->changed.notify_all();
        });
        std::unique_lock wait(task->lock);
        task->changed.wait(wait, [&] {
            return task->phase == SyncTask::Phase::Done || (stopping && task->phase == SyncTask::Phase::Pending);
        });
        if (task->phase == SyncTask::Phase::Pending) {
            task->phase = SyncTask::Phase::Cancelled;
            return;
        }
        if (task->error) std::rethrow_exception(task->error);
    }

    // One message a event, in the fixed order; the monitoring thread does not
    // wait for the handlers, and their errors go to the application.
    void SendEventMessages(TComEvents events) {
        TGuiDispatcher dispatcher = port->GuiDispatcher;
        for (TComEvent e : kDispatchOrder) {
            if (!events.Contains(e)) continue;
            auto step = [life = life, e] {
                std::lock_guard guard(life->lock);
                TCustomComPort* target = life->port;
                if (!target || !target->Connected()) return;
                try {
                    target->DispatchEvent(e);
                } catch (...) {
                    HandleApplicationException(target, std::current_exception());
                }
            };
            if (dispatcher) {
                dispatcher(step);
            } else {
                step();
            }
        }
    }
};

TComThread::TComThread(TCustomComPort& port) : state_(std::make_shared<State>()) {
    state_->port = &port;
    state_->life = port.life_;
    state_->opening = port.life_->opening;
    state_->device = port.CurrentDevice();
    state_->stopFd = core::CreateWakeEvent();
    if (!state_->device || state_->stopFd == -1) {
        state_->finished = true;
        return;
    }
    state_->device->SetEventMask(EventsToMask(port.Events()));
    state_->thread = std::thread([state = state_] { state->Run(); });
}

TComThread::~TComThread() {
    StopMonitoring();
    if (!state_->thread.joinable()) return;
    if (state_->thread.get_id() == std::this_thread::get_id()) {
        state_->thread.detach();  // ends by itself once the running handler returns
    } else {
        state_->thread.join();
    }
}

void TComThread::StopMonitoring() {
    state_->stopping = true;
    if (state_->stopFd != -1) core::SignalWakeEvent(state_->stopFd);
    std::shared_ptr<SyncTask> task;
    {
        std::lock_guard guard(state_->lock);
        task = state_->current;
    }
    if (task) {
        std::lock_guard guard(task->lock);
        task->changed.notify_all();
    }
    std::this_thread::yield();
}

std::exception_ptr TComThread::FatalException() const {
    std::lock_guard guard(state_->lock);
    return state_->fatal;
}

bool TComThread::Finished() const { return state_->finished; }

}  // namespace serial
