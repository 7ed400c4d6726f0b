#include "serial/device/sim_device.h"

#include <atomic>
#include <mutex>

#include "core/platform/wake_event.h"
#include "serial/device/timing.h"

namespace serial::device {

namespace {

const int kClosed = SystemErrorCode(SystemFailure::ClosedPort);

std::mutex configLock;
pumpsim::PumpConfig& StoredConfig() {
    static pumpsim::PumpConfig config;
    return config;
}
std::weak_ptr<pumpsim::SimLine>& LastLine() {
    static std::weak_ptr<pumpsim::SimLine> line;
    return line;
}

class SimDevice final : public SerialDevice {
public:
    explicit SimDevice(std::shared_ptr<pumpsim::SimLine> line)
        : line_(std::move(line)), abortFd_(core::CreateWakeEvent()), wakeFd_(core::CreateWakeEvent()) {}
    ~SimDevice() override {
        core::CloseWakeEvent(abortFd_);
        core::CloseWakeEvent(wakeFd_);
    }
    bool Valid() const { return abortFd_ != -1 && wakeFd_ != -1; }

    int SetQueueSizes(std::int32_t input, std::int32_t output) override {
        if (shut_) return kClosed;
        return (input < 0 || output < 0) ? SystemErrorCode(SystemFailure::InvalidArgument) : 0;
    }
    int SetState(const DeviceControlBlock& dcb) override {
        if (shut_) return kClosed;
        return CheckDeviceControlBlock(dcb);
    }
    int SetTimeouts(const CommTimeouts& timeouts) override {
        if (shut_) return kClosed;
        std::lock_guard guard(lock_);
        timeouts_ = timeouts;
        return 0;
    }

    int StartRead(Transfer& t, std::uint8_t* buffer, int count) override {
        {
            std::lock_guard guard(lock_);
            BeginRead(t, timeouts_, buffer, count, abortGeneration_.load());
        }
        if (shut_) return FailTransfer(t, kClosed);
        ReadStep(t);
        return 0;
    }

    int StartWrite(Transfer& t, const std::uint8_t* data, int count) override {
        {
            std::lock_guard guard(lock_);
            BeginWrite(t, timeouts_, data, count, abortGeneration_.load());
        }
        if (shut_) return FailTransfer(t, kClosed);
        // The line takes every byte and returns after their transmission time.
        t.done = count > 0 ? line_->Write(data, count) : 0;
        t.completed = true;
        return 0;
    }

    int Await(Transfer& t) override {
        while (!t.completed) {
            if (shut_) return FailTransfer(t, kClosed);
            if (t.abortGeneration != abortGeneration_.load()) return FailTransfer(t, SystemErrorCode(SystemFailure::Aborted));
            // Arrivals are announced to the monitoring thread, so a waiting
            // read looks again every millisecond.
            int budget = WaitBudgetMs(t, Clock::now());
            if (budget < 0 || budget > 1) budget = 1;
            core::WaitForWakeEvents({abortFd_}, budget);
            ReadStep(t);
        }
        return t.error;
    }

    int Abort() override {
        if (shut_) return kClosed;
        ++abortGeneration_;
        WakeAll();
        return 0;
    }

    int Purge(bool input, bool output) override {
        if (shut_) return kClosed;
        line_->Purge(input, output);
        return 0;
    }
    int SetBreak(bool on) override {
        if (shut_) return kClosed;
        line_->SetBreak(on);
        return 0;
    }
    int ClearErrors(std::uint32_t& errors, int& inQueue) override {
        if (shut_) return kClosed;
        errors = 0;
        inQueue = line_->WaitingCount();
        return 0;
    }
    int ModemStatus(std::uint32_t& status) override {
        if (shut_) return kClosed;
        status = 0;
        return 0;
    }

    void SetEventMask(std::uint32_t mask) override { mask_ = mask; }

    WaitResult WaitEvent(int stopFd, std::uint32_t& events) override {
        for (;;) {
            if (shut_) return WaitResult::Failed;
            const unsigned signalled = core::WaitForWakeEvents({stopFd, wakeFd_, line_->ArrivalFd()}, -1);
            if (signalled & 1) return WaitResult::Stopped;
            if (signalled & 2) core::ResetWakeEvent(wakeFd_);
            if (signalled & 4) {
                core::ResetWakeEvent(line_->ArrivalFd());
                events = mask_ & EV_RXCHAR;
                if (events) return WaitResult::Events;
            }
        }
    }

    void Shutdown() override {
        shut_ = true;
        ++abortGeneration_;
        WakeAll();
    }

private:
    void ReadStep(Transfer& t) {
        const int before = t.done;
        if (t.count > t.done) t.done += line_->Read(t.readBuffer + t.done, t.count - t.done);
        const auto now = Clock::now();
        if (t.done > before) t.lastByte = now;
        if (ReadFinished(t, now)) t.completed = true;
    }
    void WakeAll() {
        core::SignalWakeEvent(abortFd_);
        core::SignalWakeEvent(wakeFd_);
    }

    std::shared_ptr<pumpsim::SimLine> line_;
    int abortFd_;
    int wakeFd_;
    std::atomic<bool> shut_{false};
    std::atomic<std::uint64_t> abortGeneration_{0};
    std::atomic<std::uint32_t> mask_{0};
    std::mutex lock_;
    CommTimeouts timeouts_{};
};

}  // namespace

void SetSimulatedPumpConfig(const pumpsim::PumpConfig& config) {
    std::lock_guard guard(configLock);
    StoredConfig() = config;
}

pumpsim::PumpConfig SimulatedPumpConfig() {
    std::lock_guard guard(configLock);
    return StoredConfig();
}

std::shared_ptr<pumpsim::SimLine> CurrentSimulatedLine() {
    std::lock_guard guard(configLock);
    return LastLine().lock();
}

std::shared_ptr<SerialDevice> OpenSimulatedDevice(int& error) {
    auto line = std::make_shared<pumpsim::SimLine>(SimulatedPumpConfig());
    auto device = std::make_shared<SimDevice>(line);
    if (!device->Valid()) {
        error = SystemErrorCode(SystemFailure::NoResources);
        return nullptr;
    }
    std::lock_guard guard(configLock);
    LastLine() = line;
    return device;
}

}  // namespace serial::device
