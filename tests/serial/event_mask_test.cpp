// The monitoring thread against a device of the test's own: what mask it
// gives the device, and what it makes of the events the device reports.
#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "serial/com_port.h"

using namespace serial;
using namespace std::chrono_literals;

namespace {

// Keeps every event mask it is given and has one break on its line, which its
// wait reports as a driver does: only while the mask holds it; before that,
// its first waits may fail, as after an adapter's glitch.
class BreakingDevice final : public device::SerialDevice {
public:
    explicit BreakingDevice(int failedWaitsFirst) : failedWaitsLeft_(failedWaitsFirst) {}
    int SetQueueSizes(std::int32_t, std::int32_t) override { return 0; }
    int SetState(const device::DeviceControlBlock&) override { return 0; }
    int SetTimeouts(const device::CommTimeouts&) override { return 0; }
    int StartRead(device::Transfer& t, std::uint8_t*, int) override { return Finish(t); }
    int StartWrite(device::Transfer& t, const std::uint8_t*, int) override { return Finish(t); }
    int Await(device::Transfer& t) override { return t.error; }
    int Abort() override { return 0; }
    int Purge(bool, bool) override { return 0; }
    int SetBreak(bool) override { return 0; }
    int ClearErrors(std::uint32_t& errors, int& inQueue) override {
        errors = 0;
        inQueue = 0;
        return 0;
    }
    int ModemStatus(std::uint32_t& status) override {
        status = 0;
        return 0;
    }
    void SetEventMask(std::uint32_t mask) override {
        std::lock_guard guard(lock_);
        masks_.push_back(mask);
    }
    device::WaitResult WaitEvent(int stopFd, std::uint32_t& events) override {
        {
            std::lock_guard guard(lock_);
            if (failedWaitsLeft_ > 0) {
                --failedWaitsLeft_;
                return device::WaitResult::Failed;
            }
            events = masks_.empty() || breakReported_ ? 0 : masks_.back() & device::EV_BREAK;
            breakReported_ = breakReported_ || events != 0;
        }
        if (events != 0) return device::WaitResult::Events;
        pollfd stop{stopFd, POLLIN, 0};
        ::poll(&stop, 1, -1);
        return device::WaitResult::Stopped;
    }
    void Shutdown() override {}

    std::vector<std::uint32_t> Masks() {
        std::lock_guard guard(lock_);
        return masks_;
    }

private:
    static int Finish(device::Transfer& t) {
        t = device::Transfer{};
        return 0;
    }
    std::mutex lock_;
    std::vector<std::uint32_t> masks_;
    bool breakReported_ = false;
    int failedWaitsLeft_;
};

class PortOnBreakingDevice : public TComPort {
public:
    explicit PortOnBreakingDevice(int failedWaitsFirst = 0)
        : device(std::make_shared<BreakingDevice>(failedWaitsFirst)) {}
    void OpenDevice() override { UseDevice(device); }
    const std::shared_ptr<BreakingDevice> device;
};

}  // namespace

TEST(MonitoringThread, EveryEventReachesTheDeviceMaskAndABreakReachesOnBreakOnce) {
    // Failed waits do not end the monitoring while the port is open.
    for (int failedWaitsFirst : {0, 5}) {
        PortOnBreakingDevice port(failedWaitsFirst);
        port.SetEvents(kAllComEvents);
        port.SetSyncMethod(smNone);
        std::atomic<int> breaks{0};
        port.OnBreak = [&](TCustomComPort&) { ++breaks; };
        port.OpenPort();
        const auto end = std::chrono::steady_clock::now() + 10s;
        while (breaks.load() == 0 && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(2ms);
        std::this_thread::sleep_for(50ms);
        port.ClosePort();
        EXPECT_EQ(breaks.load(), 1) << failedWaitsFirst << " failed waits first";
    }
    PortOnBreakingDevice port;
    port.SetEvents(kAllComEvents);
    port.OpenPort();
    port.ClosePort();
    using namespace device;
    const std::vector<std::uint32_t> masks = port.device->Masks();
    ASSERT_FALSE(masks.empty());
    EXPECT_EQ(masks.front(), EV_RXCHAR | EV_RXFLAG | EV_TXEMPTY | EV_CTS | EV_DSR | EV_RLSD | EV_BREAK | EV_ERR |
                                 EV_RING | EV_RX80FULL);
}
