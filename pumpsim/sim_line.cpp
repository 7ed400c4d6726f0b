#include "pumpsim/sim_line.h"

#include <algorithm>
#include <cerrno>
#include <deque>
#include <mutex>
#include <thread>

#include "core/platform/exception.h"
#include "core/platform/line_condition.h"
#include "core/realtime/line_priority.h"
#include "core/platform/wake_event.h"
#include "pumpsim/pump_unit.h"

namespace pumpsim {

struct SimLine::Impl final : PumpTransport {
    explicit Impl(const PumpConfig& config);
    ~Impl() override;

    void ByteArrived(std::uint8_t byte, bool lost, Clock::time_point at) override;
    void Record(TraceKind kind, std::uint8_t byte, Clock::time_point at);
    void Arrive(std::uint8_t byte, Clock::time_point at);  // a byte for the tester; caller holds mu
    // Brings the unit up to `now` (by default the moment of the call) before
    // the tester looks at or acts on the line, so that what the tester sees
    // does not depend on how promptly the unit's thread was scheduled. Returns
    // the time it caught up to, at which the tester's action is recorded.
    // Caller holds mu.
    Clock::time_point CatchUp(Clock::time_point now = Clock::now()) {
        unit.Advance(now);
        return now;
    }
    // Bytes for the tester that had arrived by `asked`. Caller holds mu.
    int ArrivedBy(Clock::time_point asked) const {
        int n = 0;
        while (n < static_cast<int>(input.size()) && input[static_cast<std::size_t>(n)].at <= asked) ++n;
        return n;
    }
    void Run();

    const Clock::time_point created = Clock::now();
    const bool echo;
    mutable std::mutex mu;
    core::LineCondition cv;  // ends its timed waits on time on every platform
    struct Arrival {
        Clock::time_point at;
        std::uint8_t byte;
    };
    std::deque<Arrival> input;  // bytes waiting for the tester, in arrival order
    std::vector<TraceEntry> trace;
    bool breakOn = false;
    bool stop = false;
    int arrivalFd = -1;
    PumpUnit unit;

    // Serialises the tester's writers: the line carries one byte at a time.
    std::mutex txMu;
    Clock::time_point txFreeAt{};

    std::thread thread;
};

SimLine::Impl::Impl(const PumpConfig& config) : echo(config.adapterEcho), unit(config, *this) {
    arrivalFd = core::CreateWakeEvent();
    if (arrivalFd == -1) core::RaiseLastOSError(errno);
    thread = std::thread([this] { Run(); });
}

SimLine::Impl::~Impl() {
    {
        std::lock_guard<std::mutex> lock(mu);
        stop = true;
    }
    cv.notify_all();
    thread.join();
    core::CloseWakeEvent(arrivalFd);
}

void SimLine::Impl::Record(TraceKind kind, std::uint8_t byte, Clock::time_point at) {
    // Entries stay in time order even when a late-running writer records a
    // byte whose line time lies before what the unit has already delivered.
    double ms = std::chrono::duration<double, std::milli>(at - created).count();
    if (!trace.empty()) ms = std::max(ms, trace.back().timeMs);
    trace.push_back(TraceEntry{ms, kind, byte});
}

void SimLine::Impl::Arrive(std::uint8_t byte, Clock::time_point at) {
    input.push_back({at, byte});
    core::SignalWakeEvent(arrivalFd);
}

void SimLine::Impl::ByteArrived(std::uint8_t byte, bool lost, Clock::time_point at) {
    // Called by the unit from Advance, with mu held. The trace keeps the
    // line's own time of arrival: every tester action first catches the unit
    // up, so the trace stays in time order.
    if (lost) {
        Record(TraceKind::LostByte, byte, at);
        return;
    }
    Record(TraceKind::PumpByte, byte, at);
    Arrive(byte, at);
}

void SimLine::Impl::Run() {
    // The unit stands for hardware that never waits for a busy computer.
    const core::LineThreadPriority onTime;
    std::unique_lock<std::mutex> lock(mu);
    while (!stop) {
        const auto deadline = unit.NextDeadline();
        if (deadline)
            cv.wait_until(lock, *deadline);
        else
            cv.wait(lock);
        if (stop) break;
        unit.Advance(Clock::now());
    }
}

SimLine::SimLine(PumpConfig config) : impl_(std::make_unique<Impl>(config)) {}

SimLine::~SimLine() = default;

int SimLine::Write(const std::uint8_t* data, int count) {
    if (count <= 0) return 0;
    if (data == nullptr) throw core::EInvalidOperation("SimLine::Write: no data for a count above 0");
    std::lock_guard<std::mutex> tx(impl_->txMu);
    const Clock::duration byteTime = impl_->unit.ByteTime();
    Clock::time_point end = std::max(Clock::now(), impl_->txFreeAt);
    for (int i = 0; i < count; ++i) {
        end += byteTime;
        core::LineSleepUntil(end);
        {
            // The byte ended at `end` on the line, even if this thread
            // wakes later: the unit and the trace take the line's time.
            std::lock_guard<std::mutex> lock(impl_->mu);
            impl_->unit.Advance(end);
            impl_->Record(TraceKind::TesterByte, data[i], end);
            if (impl_->echo) {
                impl_->Record(TraceKind::EchoByte, data[i], end);
                impl_->Arrive(data[i], end);
            }
            impl_->unit.TesterByte(data[i], end);
        }
        impl_->cv.notify_all();
    }
    impl_->txFreeAt = end;
    return count;
}

int SimLine::Read(std::uint8_t* data, int maxCount) { return ReadArrivedBy(data, maxCount, Clock::now()); }

int SimLine::ReadArrivedBy(std::uint8_t* data, int maxCount, Clock::time_point asked) {
    if (maxCount <= 0) return 0;
    if (data == nullptr) throw core::EInvalidOperation("SimLine::Read: no buffer for a count above 0");
    // The time is taken before the line's lock: a reader held up on it (the
    // unit's thread holds it, and a busy computer stops that thread) gets
    // what a port's driver had at the call, not the bytes of the hold-up.
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->CatchUp(asked);
    const int n = std::min(maxCount, impl_->ArrivedBy(asked));
    for (int i = 0; i < n; ++i) {
        data[i] = impl_->input.front().byte;
        impl_->input.pop_front();
    }
    return n;
}

int SimLine::WaitingCount() const {
    const Clock::time_point asked = Clock::now();
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->CatchUp(asked);
    return impl_->ArrivedBy(asked);
}

void SimLine::SetBreak(bool on) {
    {
        std::lock_guard<std::mutex> lock(impl_->mu);
        const Clock::time_point now = impl_->CatchUp();
        if (impl_->breakOn == on) return;
        impl_->breakOn = on;
        impl_->Record(on ? TraceKind::BreakOn : TraceKind::BreakOff, 0, now);
        impl_->unit.BreakChanged(on, now);
    }
    impl_->cv.notify_all();
}

void SimLine::Purge(bool input, bool output) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    const Clock::time_point now = impl_->CatchUp();
    impl_->Record(TraceKind::Purge, static_cast<std::uint8_t>((input ? 1 : 0) | (output ? 2 : 0)), now);
    if (input) impl_->input.clear();
}

int SimLine::ArrivalFd() const { return impl_->arrivalFd; }

std::vector<TraceEntry> SimLine::Trace() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->trace;
}

void SimLine::ClearTrace() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->trace.clear();
}

std::vector<FaultRecord> SimLine::FaultMemory() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->unit.FaultMemory();
}

bool SimLine::PumpAwake() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->CatchUp();
    return impl_->unit.Awake();
}

double SimLine::ByteTimeMs() const {
    return std::chrono::duration<double, std::milli>(impl_->unit.ByteTime()).count();
}

}  // namespace pumpsim
