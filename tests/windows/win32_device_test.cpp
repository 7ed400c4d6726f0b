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
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>

#include "program_port.h"
#include "serial/com_error.h"
#include "serial/com_port.h"
#include "serial/device/device.h"
#include "serial/open_failure.h"
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

// A name that is no port fails at the opening with the system's code, and the
// box's second line says why and what to do. Names that open but are no
// communications device are refused before anything reaches them.
TEST(Win32Port, NamesThatAreNoPortsFailAtTheOpeningWithAnExplanation) {
    const std::string file = (std::filesystem::temp_directory_path() / "pd-not-a-port.ini").string();
    { std::ofstream(file, std::ios::binary) << "Com1"; }
    const struct {
        std::string port;
        int code;
        std::string explanation;
    } rows[] = {
        {"COM199", ERROR_FILE_NOT_FOUND,
         "Port COM199: there is no such port. Plug the adapter in, look up its COM port in the Device Manager"},
        {"NUL", ERROR_BAD_DEVICE, "Port NUL: not a serial port. Choose the port the adapter is on."},
        {file, ERROR_BAD_DEVICE, "Port " + file + ": not a serial port."},
        {std::string(5000, 'C'), 0, "Port " + std::string(59, 'C') + "\xE2\x80\xA6: "},  // cut for the box
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.port.substr(0, 40));
        TComPort port;
        port.SetPort(row.port);
        try {
            port.OpenPort();
            FAIL() << "opened";
        } catch (const EComPort& e) {
            EXPECT_EQ(e.ErrorNumber(), CError_OpenFailed);
            if (row.code) {
                EXPECT_EQ(e.SystemErrorCode(), row.code);
            }
            const std::string message = e.Message();
            EXPECT_NE(message.find("\n" + row.explanation), std::string::npos) << message;
            EXPECT_LT(message.size(), 400u);
        }
        EXPECT_FALSE(port.Connected());
    }
    std::ifstream back(file, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(back), {}), "Com1");  // nothing written to it
    back.close();
    std::remove(file.c_str());
}

// The system's refusals of an opening, in words, with what a Windows user does.
TEST(Win32Port, OpenFailuresSayWhatToDoTheWindowsWay) {
    const struct {
        int code;
        const char* line;
    } rows[] = {
        {ERROR_ACCESS_DENIED,
         "Port COM3: the port is in use by another program, or access to it is denied. Close the other program"},
        {ERROR_SHARING_VIOLATION, "Port COM3: the port is in use by another program"},
        {ERROR_INVALID_NAME, "Port COM3: this is not a port name. Choose the port in the menu; ports are named COM1"},
        {ERROR_GEN_FAILURE, ". Check the adapter and its driver."},  // the system's own words before it
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.code);
        EXPECT_NE(OpenFailureLine("COM3", row.code).find(row.line), std::string::npos) << OpenFailureLine("COM3", row.code);
    }
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
