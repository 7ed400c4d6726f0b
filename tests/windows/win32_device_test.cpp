// The Windows device backend on a COM port that Wine maps to a
// pseudo-terminal whose far end echoes every byte (pty_far_end.py; the port
// name comes in PD_TEST_COM_PORT). Where Wine's emulation is not Windows:
// - a second exclusive open is not refused, so that is not tested here;
// - WaitCommEvent can complete with an empty mask (the backend waits again);
// - a read set to return at once can wait (the backend reads what is queued);
// - a read ended by its timeouts fails with ERROR_TIMEOUT (the backend takes
//   it as the completion Windows reports);
// - a pseudo-terminal has no modem lines (GetCommModemStatus is refused: all off);
// - Linux refuses a pseudo-terminal's settings with parity once they were set
//   (Wine's SetCommState then fails), so these ports run without parity.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

#include "program_port.h"
#include "serial/com_error.h"
#include "serial/com_port.h"
#include "serial/device/device.h"
// After the device layer's names, which the system's header also defines.
#include <windows.h>
#undef SetPort  // the printing spooler's, not the port's

using namespace serial;
using Clock = std::chrono::steady_clock;

namespace {

std::string TestPort() {
    const char* name = std::getenv("PD_TEST_COM_PORT");
    return name ? name : "";
}

class EchoPort : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(TestPort().empty()) << "PD_TEST_COM_PORT names no port";
        ConfigureAsProgram(port);
        port.Parity().SetBits(prNone);
        port.SetEvents({});
        port.SetPort(TestPort());
        port.OpenPort();
        port.PurgeBuffers(true, true);
    }

    // Polls as the engine does until `count` bytes came or two seconds passed.
    std::string ReadBack(std::size_t count) {
        std::string all;
        for (auto end = Clock::now() + std::chrono::seconds(2); all.size() < count && Clock::now() < end;) {
            std::string some;
            port.ReadText(some, static_cast<int>(count - all.size()));
            all += some;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return all;
    }

    TComPort port;
};

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

TEST(Win32PortNames, ComNamesGoToTheDeviceNamespaceInAnyCase) {
    EXPECT_EQ(device::DevicePathForPort("COM1"), "\\\\.\\COM1");
    EXPECT_EQ(device::DevicePathForPort("com256"), "\\\\.\\com256");
    EXPECT_EQ(device::ComPortNumber("cOm256"), 256);
    EXPECT_EQ(device::ComPortNumber("COM0"), 0);
    EXPECT_EQ(device::ComPortNumber("COMX"), 0);
    EXPECT_TRUE(device::IsSimulatedPortName("sIm"));
}

TEST(Win32Port, MissingPortCarriesTheSystemCode) {
    TComPort port;
    port.SetPort("COM199");
    try {
        port.OpenPort();
        FAIL() << "COM199 opened";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.ErrorNumber(), CError_OpenFailed);
        EXPECT_EQ(e.SystemErrorCode(), 2);  // ERROR_FILE_NOT_FOUND
    }
    EXPECT_FALSE(port.Connected());
}

TEST_F(EchoPort, WrittenBytesComeBackAndAReadReturnsAtOnceWhenNothingWaits) {
    const auto start = Clock::now();
    std::string nothing;
    EXPECT_EQ(port.ReadText(nothing, 10), 0);
    EXPECT_LT(MsSince(start), 50.0);
    const std::string bytes("\x55\x00\xAA\xFF", 4);
    EXPECT_EQ(port.WriteText(bytes), 4);
    EXPECT_EQ(ReadBack(4), bytes);
}

TEST_F(EchoPort, ReadTotalTimeoutEndsAReadWithoutBytes) {
    port.Timeouts().SetReadInterval(0);
    port.Timeouts().SetReadTotalConstant(200);
    const auto start = Clock::now();
    std::string nothing;
    EXPECT_EQ(port.ReadText(nothing, 10), 0);
    EXPECT_GE(MsSince(start), 150.0);
    EXPECT_LT(MsSince(start), 2000.0);
}

TEST_F(EchoPort, PurgeDropsTheQueuedInputAndBreakIsAccepted) {
    port.WriteText("xyz");
    for (auto end = Clock::now() + std::chrono::seconds(2); port.WaitingInputCount() < 3 && Clock::now() < end;)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(port.WaitingInputCount(), 3);
    port.PurgeBuffers(true, false);
    EXPECT_EQ(port.WaitingInputCount(), 0);
    port.SetBreakState(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    port.SetBreakState(false);
    EXPECT_NO_THROW(port.ReadLineErrors());
    EXPECT_NO_THROW(port.ReadModemSignals());
}

TEST(Win32PortEvents, ArrivalsReachOnRxCharAndClosingEndsTheWait) {
    ASSERT_FALSE(TestPort().empty());
    TComPort port;
    ConfigureAsProgram(port);
    port.Parity().SetBits(prNone);
    port.SetPort(TestPort());
    std::atomic<int> received{0};
    port.OnRxChar = [&](TCustomComPort& p, int count) {
        std::string bytes;
        received += p.ReadText(bytes, count);
    };
    port.OpenPort();
    port.WriteText("hello");
    for (auto end = Clock::now() + std::chrono::seconds(2); received < 5 && Clock::now() < end;) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(received.load(), 5);
    const auto start = Clock::now();
    port.ClosePort();
    EXPECT_LT(MsSince(start), 1000.0);
}

// Failures that the component and the simulated line find themselves carry
// the system's codes: a closed port ERROR_INVALID_HANDLE (6), a transfer that
// the closing aborted ERROR_OPERATION_ABORTED (995), never an errno value.
TEST(Win32PortErrors, ClosedAndAbortedTransfersCarryTheSystemsCodes) {
    ASSERT_FALSE(TestPort().empty());
    for (const std::string& name : {TestPort(), std::string("SIM")}) {
        SCOPED_TRACE(name);
        TComPort port;
        ConfigureAsProgram(port);
        port.Parity().SetBits(prNone);
        port.SetPort(name);
        port.OpenPort();
        port.ClosePort();
        struct Row {
            int number;
            std::function<void()> call;
        };
        const Row rows[] = {
            {CError_WriteFailed, [&] { port.WriteText("x"); }},
            {CError_ReadFailed, [&] { std::string s; port.ReadText(s, 1); }},
            {CError_PurgeFailed, [&] { port.PurgeBuffers(true, true); }},
            {CError_EscapeComFailed, [&] { port.SetBreakState(true); }},
            {CError_ClearComFailed, [&] { port.WaitingInputCount(); }},
        };
        for (const Row& row : rows) {
            try {
                row.call();
                ADD_FAILURE() << "error " << row.number << " not raised";
            } catch (const EComPort& e) {
                EXPECT_EQ(e.ErrorNumber(), row.number);
                EXPECT_EQ(e.SystemErrorCode(), ERROR_INVALID_HANDLE);
            }
        }

        // A read that waits when the port closes.
        port.Timeouts().SetReadInterval(0);
        port.Timeouts().SetReadTotalConstant(10000);
        port.OpenPort();
        std::atomic<int> code{0};
        std::thread reader([&] {
            try {
                std::string s;
                port.ReadText(s, 10);
            } catch (const EComPort& e) {
                code = e.SystemErrorCode();
            }
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        port.ClosePort();
        reader.join();
        EXPECT_TRUE(code == ERROR_OPERATION_ABORTED || code == ERROR_INVALID_HANDLE) << "code " << code;
    }
}
