// The serial device layer: one interface, one backend a kind of device. The
// port component builds its configuration records and hands them here; the
// backends map them to the platform. Every operation returns 0 on success or
// the system error code of the failure: errno on POSIX, GetLastError() on
// Windows; the simulated device and the component itself use the same
// system's codes (SystemErrorCode).
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace serial::device {

// The device-control record, field for field as the port builds it.
struct DeviceControlBlock {
    std::uint32_t DCBlength = 28;
    std::uint32_t BaudRate = 0;
    std::uint32_t Flags = 0;
    std::uint16_t wReserved = 0;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t ByteSize = 0;
    std::uint8_t Parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::uint8_t StopBits = 0;  // 0 one, 1 one and a half, 2 two
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
    std::uint16_t wReserved1 = 0;
};

// Flag word bits of DeviceControlBlock::Flags.
enum : std::uint32_t {
    kDcbBinary = 0x1,
    kDcbParity = 0x2,
    kDcbOutxCtsFlow = 0x4,
    kDcbOutxDsrFlow = 0x8,
    kDcbDtrControlShift = 4,  // two bits, 0x10 and 0x20
    kDcbDsrSensitivity = 0x40,
    kDcbTxContinueOnXoff = 0x80,
    kDcbOutX = 0x100,
    kDcbInX = 0x200,
    kDcbErrorChar = 0x400,
    kDcbNull = 0x800,
    kDcbRtsControlShift = 12,  // two bits, 0x1000 and 0x2000
    kDcbAbortOnError = 0x4000,
};

// The five timeouts, as unsigned patterns (0xFFFFFFFF is the largest value).
struct CommTimeouts {
    std::uint32_t ReadIntervalTimeout = 0;
    std::uint32_t ReadTotalTimeoutMultiplier = 0;
    std::uint32_t ReadTotalTimeoutConstant = 0;
    std::uint32_t WriteTotalTimeoutMultiplier = 0;
    std::uint32_t WriteTotalTimeoutConstant = 0;
};
constexpr std::uint32_t kMaxDword = 0xFFFFFFFFu;

// Line event bits of the event mask.
enum : std::uint32_t {
    EV_RXCHAR = 0x0001,
    EV_RXFLAG = 0x0002,
    EV_TXEMPTY = 0x0004,
    EV_CTS = 0x0008,
    EV_DSR = 0x0010,
    EV_RLSD = 0x0020,
    EV_BREAK = 0x0040,
    EV_ERR = 0x0080,
    EV_RING = 0x0100,
    EV_RX80FULL = 0x0400,
};

// Modem status bits.
enum : std::uint32_t { MS_CTS_ON = 0x10, MS_DSR_ON = 0x20, MS_RING_ON = 0x40, MS_RLSD_ON = 0x80 };

// Line error bits.
enum : std::uint32_t {
    CE_RXOVER = 0x0001,
    CE_OVERRUN = 0x0002,
    CE_RXPARITY = 0x0004,
    CE_FRAME = 0x0008,
    CE_BREAK = 0x0010,
    CE_TXFULL = 0x0100,
    CE_IOE = 0x0400,
    CE_MODE = 0x8000,
};

// The state of one transfer; the device fills it in as the transfer runs.
struct Transfer {
    bool isRead = false;
    bool started = false;
    bool completed = true;  // a record on which nothing was started completes at once with 0
    int error = 0;          // system code of a failed transfer (SystemFailure::Aborted when aborted)
    std::uint8_t* readBuffer = nullptr;
    const std::uint8_t* writeBuffer = nullptr;
    int count = 0;
    int done = 0;
    bool hasDeadline = false;
    std::chrono::steady_clock::time_point deadline{};
    std::uint32_t intervalMs = 0;  // read interval timeout, 0 none
    std::chrono::steady_clock::time_point lastByte{};
    bool returnOnFirstByte = false;  // the "wait for the first byte, then return" read
    std::uint64_t abortGeneration = 0;
    // The backend's own record of the transfer in progress (the overlapped
    // block on Windows); kept until the system is done with it.
    std::shared_ptr<void> pending;
};

// Result of WaitEvent. Gone: the device itself went away (a USB adapter
// pulled out); no call on it succeeds again, and it can only be closed.
enum class WaitResult { Events, Stopped, Failed, Gone };

class SerialDevice {
public:
    virtual ~SerialDevice() = default;

    virtual int SetQueueSizes(std::int32_t input, std::int32_t output) = 0;
    virtual int SetState(const DeviceControlBlock& dcb) = 0;
    virtual int SetTimeouts(const CommTimeouts& timeouts) = 0;

    // Starts a transfer and does what can be done at once; `t.completed`
    // tells whether it already finished. Await finishes it, waiting as the
    // timeouts say; Abort ends every transfer in progress as aborted.
    virtual int StartRead(Transfer& t, std::uint8_t* buffer, int count) = 0;
    virtual int StartWrite(Transfer& t, const std::uint8_t* data, int count) = 0;
    virtual int Await(Transfer& t) = 0;
    virtual int Abort() = 0;

    virtual int Purge(bool input, bool output) = 0;
    virtual int SetBreak(bool on) = 0;
    // Line errors (CE_ bits) since the previous call, cleared by it, and the
    // number of received bytes waiting.
    virtual int ClearErrors(std::uint32_t& errors, int& inQueue) = 0;
    virtual int ModemStatus(std::uint32_t& status) = 0;

    // The events (EV_ bits) the next waits report.
    virtual void SetEventMask(std::uint32_t mask) = 0;
    // Waits until one of the masked events occurred (reported in `events`) or
    // `stopFd` (a wake event, core/platform/wake_event.h) is signalled. An event that
    // occurs while no wait runs is reported by the next wait.
    virtual WaitResult WaitEvent(int stopFd, std::uint32_t& events) = 0;

    // Whether the device went away: `error`, a call's failure, says so, or
    // an earlier call or wait found it. A device that cannot go says no.
    virtual bool Gone(int error) {
        (void)error;
        return false;
    }

    // Ends every transfer and wait in progress and makes every later call fail
    // as on a closed port; the platform handle is released as soon as the calls in
    // progress have returned, whoever still holds a reference (a transfer
    // record does).
    virtual void Shutdown() = 0;
};

// Failures that the component and the simulated device find themselves,
// and the system's code for each: errno on POSIX, a Windows error code there
// (a closed port is ERROR_INVALID_HANDLE, 6, as the system reports it).
enum class SystemFailure { ClosedPort, InvalidArgument, Aborted, NoResources };
int SystemErrorCode(SystemFailure failure);

// True for the system's codes with which every call on a device fails once
// it has gone away: on Windows ERROR_ACCESS_DENIED, ERROR_BAD_COMMAND,
// ERROR_GEN_FAILURE, ERROR_DEVICE_REMOVED and ERROR_OPERATION_ABORTED (the
// last only where the caller did not cancel the call itself); on POSIX EIO,
// ENXIO and ENODEV.
bool GoneDeviceCode(int systemErrorCode);

// The device path on this platform for a port name. POSIX: a name holding
// "/" is a path, COMn in any letter case is /dev/ttyS(n-1), any other name
// lies under /dev/. Windows: "\\.\" followed by the name unchanged.
std::string DevicePathForPort(const std::string& portName);

// n for the port name COMn in any letter case (n from 1), else 0.
int ComPortNumber(const std::string& portName);

// True for the simulated pump's port name, "SIM" in any letter case.
bool IsSimulatedPortName(const std::string& portName);

// Opens the device exclusively; on failure returns null and sets `error`.
std::shared_ptr<SerialDevice> OpenSerialDevice(const std::string& portName, int& error);

}  // namespace serial::device
