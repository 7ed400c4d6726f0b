#include "serial/device/device.h"

#include <algorithm>
#include <cstdint>

#include "serial/device/timing.h"

namespace serial::device {

namespace {

bool EqualsIgnoringCase(const std::string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return i == a.size() && b[i] == 0;
}

// Timeouts add up in 64 bits: 0xFFFFFFFF x count must not wrap.
std::uint64_t TotalMs(std::uint32_t multiplier, std::uint32_t constant, int count) {
    return std::uint64_t{multiplier} * static_cast<std::uint64_t>(std::max(count, 0)) + constant;
}

void SetDeadline(Transfer& t, std::uint64_t totalMs) {
    // Beyond about a year the limit is as good as none.
    constexpr std::uint64_t kNoLimit = 365ull * 24 * 3600 * 1000;
    t.hasDeadline = totalMs > 0 && totalMs < kNoLimit;
    if (t.hasDeadline) t.deadline = Clock::now() + std::chrono::milliseconds(totalMs);
}

}  // namespace

int ComPortNumber(const std::string& portName) {
    if (portName.size() <= 3 || portName.size() > 12 || !EqualsIgnoringCase(portName.substr(0, 3), "COM") ||
        !std::all_of(portName.begin() + 3, portName.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return 0;
    const long long n = std::stoll(portName.substr(3));
    return n >= 1 && n <= INT32_MAX ? static_cast<int>(n) : 0;
}

bool IsSimulatedPortName(const std::string& portName) { return EqualsIgnoringCase(portName, "SIM"); }

namespace {

void Begin(Transfer& t, bool isRead, int count, std::uint64_t abortGeneration) {
    t.isRead = isRead;
    t.started = true;
    t.completed = false;
    t.error = 0;
    t.count = count;
    t.done = 0;
    t.abortGeneration = abortGeneration;
    t.lastByte = Clock::now();
    t.readBuffer = nullptr;
    t.writeBuffer = nullptr;
}

void PrepareReadTiming(Transfer& t, const CommTimeouts& to, int count) {
    t.intervalMs = 0;
    t.returnOnFirstByte = false;
    t.hasDeadline = false;
    const bool intervalMax = to.ReadIntervalTimeout == kMaxDword;
    if (intervalMax && to.ReadTotalTimeoutMultiplier == 0 && to.ReadTotalTimeoutConstant == 0) {
        // Return at once with what is buffered: a deadline of now.
        t.hasDeadline = true;
        t.deadline = Clock::now();
        return;
    }
    if (intervalMax && to.ReadTotalTimeoutMultiplier == kMaxDword && to.ReadTotalTimeoutConstant > 0 &&
        to.ReadTotalTimeoutConstant < kMaxDword) {
        t.returnOnFirstByte = true;
        SetDeadline(t, to.ReadTotalTimeoutConstant);
        return;
    }
    if (!intervalMax) t.intervalMs = to.ReadIntervalTimeout;
    SetDeadline(t, TotalMs(to.ReadTotalTimeoutMultiplier, to.ReadTotalTimeoutConstant, count));
}

}  // namespace

int CheckDeviceControlBlock(const DeviceControlBlock& dcb) {
    const bool valid = dcb.ByteSize >= 5 && dcb.ByteSize <= 8 && dcb.Parity <= 4 && dcb.StopBits <= 2 &&
                       dcb.BaudRate > 0 && dcb.BaudRate <= 0x7FFFFFFF;
    return valid ? 0 : SystemErrorCode(SystemFailure::InvalidArgument);
}

void BeginRead(Transfer& t, const CommTimeouts& timeouts, std::uint8_t* buffer, int count,
               std::uint64_t abortGeneration) {
    Begin(t, true, count, abortGeneration);
    t.readBuffer = buffer;
    PrepareReadTiming(t, timeouts, count);
}

void BeginWrite(Transfer& t, const CommTimeouts& timeouts, const std::uint8_t* data, int count,
                std::uint64_t abortGeneration) {
    Begin(t, false, count, abortGeneration);
    t.writeBuffer = data;
    t.intervalMs = 0;
    t.returnOnFirstByte = false;
    SetDeadline(t, TotalMs(timeouts.WriteTotalTimeoutMultiplier, timeouts.WriteTotalTimeoutConstant, count));
}

int FailTransfer(Transfer& t, int error) {
    t.completed = true;
    t.error = error;
    return error;
}

bool ReadFinished(const Transfer& t, Clock::time_point now) {
    if (t.done >= t.count) return true;
    if (t.returnOnFirstByte && t.done > 0) return true;
    if (t.hasDeadline && now >= t.deadline) return true;
    if (t.intervalMs > 0 && t.done > 0 && now - t.lastByte >= std::chrono::milliseconds(t.intervalMs)) return true;
    return false;
}

int WaitBudgetMs(const Transfer& t, Clock::time_point now) {
    long long budget = -1;
    auto consider = [&](Clock::time_point limit) {
        auto ms = std::chrono::ceil<std::chrono::milliseconds>(limit - now).count();
        long long msValue = std::max<long long>(ms, 0);
        budget = budget < 0 ? msValue : std::min(budget, msValue);
    };
    if (t.hasDeadline) consider(t.deadline);
    if (t.isRead && t.intervalMs > 0 && t.done > 0) consider(t.lastByte + std::chrono::milliseconds(t.intervalMs));
    return static_cast<int>(std::min<long long>(budget, 1 << 30));
}

}  // namespace serial::device
