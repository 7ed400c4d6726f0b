// The port against real pseudo-terminal pairs: the port opens the slave, the
// test plays the far end on the master.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "serial/com_port.h"
#include "serial/device/low_latency.h"
#include "serial/open_failure.h"
#include "serial/device/posix_device.h"
#include "serial/device/posix_termios.h"
#include "port_test_support.h"

using namespace serial;
using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

double ProcessCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

template <typename Pred>
bool WaitFor(Pred pred, std::chrono::milliseconds limit = 2000ms) {
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
        if (pred()) return true;
        std::this_thread::sleep_for(2ms);
    }
    return pred();
}

// Runs `call`, which must raise EComPort, and returns it.
template <typename Call>
EComPort Raised(Call call) {
    try {
        call();
    } catch (const EComPort& e) {
        return e;
    }
    ADD_FAILURE() << "no EComPort raised";
    return EComPort(0);
}

class PortOnPty : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty.Ok());
        // The diagnostic program's settings.
        port.SetPort(pty.SlavePath());
        ConfigureAsProgram(port);
    }
    // Watches for arrivals and line errors; counts the reports that hold `error`.
    void CountLineErrors(TLineError error) {
        port.SetEvents({evRxChar, evError});
        port.OnError = [this, error](TCustomComPort&, TComErrors errors) {
            if (errors.Contains(error)) ++lineErrors;
        };
    }
    termios MasterView() {
        termios t{};
        tcgetattr(pty.Master(), &t);
        return t;
    }

    PtyPair pty;
    TComPort port;
    std::atomic<int> lineErrors{0};
};

// A pseudo-terminal takes a break and ignores it: this port records the
// requests its device issues on the descriptor.
class PortRecordingBreaks : public TComPort {
public:
    void OpenDevice() override {
        device::PosixDeviceOptions options;
        options.breakRequest = [this](int fd, unsigned long request) {
            requests.push_back(request);
            return ::ioctl(fd, request) == 0 ? 0 : errno;
        };
        int error = 0;
        auto opened = device::OpenPosixDevice(Port(), error, options);
        ASSERT_TRUE(opened) << error;
        UseDevice(opened);
    }
    std::vector<unsigned long> requests;
};

}  // namespace

TEST_F(PortOnPty, SettingsReachTheDeviceAndFollowChanges) {
    port.OpenPort();
    termios t = MasterView();
    EXPECT_EQ(cfgetospeed(&t), B9600);
    EXPECT_FALSE(t.c_cflag & (PARODD | CMSPAR | CSTOPB | CRTSCTS));
    EXPECT_TRUE(t.c_cflag & CREAD);
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF | ICRNL | INPCK));
    EXPECT_FALSE(t.c_oflag & OPOST);

    port.SetBaudRate(br19200);
    port.Parity().SetBits(prMark);
    port.Parity().SetCheck(true);
    port.SetStopBits(sbTwoStopBits);
    port.SetDataBits(dbSeven);
    port.FlowControl().SetFlowControl(fcHardware);
    port.FlowControl().SetXonXoffIn(true);
    port.FlowControl().SetXoffChar(0x14);
    t = MasterView();
    EXPECT_EQ(cfgetospeed(&t), B19200);
    EXPECT_TRUE(t.c_cflag & CMSPAR);
    EXPECT_TRUE(t.c_cflag & PARODD);
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_TRUE(t.c_cflag & CRTSCTS);
    EXPECT_TRUE(t.c_iflag & IXOFF);
    EXPECT_FALSE(t.c_iflag & IXON);
    EXPECT_TRUE(t.c_iflag & INPCK);
    EXPECT_EQ(t.c_cc[VSTOP], 0x14);

    port.SetBaudRate(brCustom);
    port.SetCustomBaudRate(31250);  // not a standard speed: goes as an exact number
    EXPECT_EQ(MasterView().c_cflag & CBAUD, static_cast<tcflag_t>(0010000));

    // A setting the device refuses raises error 7 and stays stored.
    const EComPort e = Raised([&] { port.SetCustomBaudRate(0); });
    EXPECT_EQ(e.ErrorNumber(), CError_SetStateFailed);
    EXPECT_EQ(e.SystemErrorCode(), EINVAL);
    EXPECT_EQ(port.CustomBaudRate(), 0);
    EXPECT_TRUE(port.Connected());
}

// A pseudo-terminal always reads back eight data bits without parity, so the
// data bits and parity are checked on what is asked of the device.
TEST(TermiosMapping, DataBitsParityAndStopBits) {
    TComPort port;
    port.Parity().SetBits(prEven);
    device::TermiosSettings m;
    ASSERT_EQ(device::MapToTermios(port.BuildDeviceControlBlock(), m), 0);
    EXPECT_EQ(m.controlFlags & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(m.controlFlags & (PARENB | PARODD | CMSPAR | CSTOPB), static_cast<tcflag_t>(PARENB));
    EXPECT_EQ(m.controlFlags & CBAUD, static_cast<tcflag_t>(B9600));
    EXPECT_EQ(m.speed, 9600u);
    EXPECT_FALSE(m.inputFlags & INPCK);

    port.SetDataBits(dbFive);
    port.SetStopBits(sbOne5StopBits);
    port.Parity().SetBits(prOdd);
    ASSERT_EQ(device::MapToTermios(port.BuildDeviceControlBlock(), m), 0);
    EXPECT_EQ(m.controlFlags & CSIZE, static_cast<tcflag_t>(CS5));
    EXPECT_EQ(m.controlFlags & (PARENB | PARODD | CMSPAR | CSTOPB), static_cast<tcflag_t>(PARENB | PARODD | CSTOPB));

    port.Parity().SetBits(prSpace);
    port.SetDataBits(dbSix);
    ASSERT_EQ(device::MapToTermios(port.BuildDeviceControlBlock(), m), 0);
    EXPECT_EQ(m.controlFlags & CSIZE, static_cast<tcflag_t>(CS6));
    EXPECT_EQ(m.controlFlags & (PARENB | PARODD | CMSPAR), static_cast<tcflag_t>(PARENB | CMSPAR));

    auto dcb = port.BuildDeviceControlBlock();
    dcb.ByteSize = 9;
    EXPECT_EQ(device::MapToTermios(dcb, m), EINVAL);
    dcb = port.BuildDeviceControlBlock();
    dcb.Parity = 5;
    EXPECT_EQ(device::MapToTermios(dcb, m), EINVAL);
}

// A pseudo-terminal refuses the low-latency flag and still opens. A folder in
// place of the kernel's attributes shows the adapter's latency timer lowered
// while the device is open and put back when it closes, found through a link.
// A timer found at 1 ms is the user's own setting and stays, unless a run that
// was killed while it held the port left its note of the value before.
TEST(LowLatency, TimerLoweredWhileOpenAndPutBack) {
    const struct {
        const char* before;
        bool killedRunFirst;
        const char* afterClose;
    } rows[] = {{"16\n", false, "16"}, {"4\n", false, "4"}, {"1\n", false, "1"}, {"16\n", true, "16"}};
    for (const auto& row : rows) {
        PtyPair pty;
        ASSERT_TRUE(pty.Ok());
        const auto root = std::filesystem::temp_directory_path() / ("pd_sysfs_" + std::to_string(::getpid()));
        const auto timer =
            root / "class/tty" / std::filesystem::path(pty.SlavePath()).filename() / "device/latency_timer";
        std::filesystem::create_directories(timer.parent_path());
        const auto timerText = [&] {
            std::ifstream in(timer);
            return std::string(std::istreambuf_iterator<char>(in), {});
        };
        std::ofstream(timer) << row.before;
        const auto link = root / "by-id-adapter";
        std::filesystem::create_symlink(pty.SlavePath(), link);
        const device::PosixDeviceOptions options{root.string(), root.string(), {}};
        if (row.killedRunFirst) {
            const int tty = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
            device::LowLatency killed;  // lowers and is never put back
            killed.Request(tty, link.string(), options.sysfsRoot, options.runtimeDir);
            ::close(tty);
        }

        int error = 0;
        auto device = device::OpenPosixDevice(link.string(), error, options);
        ASSERT_TRUE(device) << error;
        EXPECT_EQ(timerText(), "1") << row.before;
        device->Shutdown();
        EXPECT_EQ(timerText(), row.afterClose) << row.before << row.killedRunFirst;
        std::filesystem::remove_all(root);
    }
}

TEST_F(PortOnPty, OpensExclusively) {
    port.OpenPort();
    TComPort second;
    second.SetPort(pty.SlavePath());
    const EComPort e = Raised([&] { second.OpenPort(); });
    EXPECT_EQ(e.ErrorNumber(), CError_OpenFailed);
    EXPECT_TRUE(e.SystemErrorCode() == EBUSY || e.SystemErrorCode() == EWOULDBLOCK) << e.SystemErrorCode();
    EXPECT_EQ(std::string(e.what()), "Unable to open com port (win error code: " + std::to_string(e.SystemErrorCode()) +
                                         ")\nPort " + pty.SlavePath() +
                                         ": the port is busy: another program holds it. Close the other program "
                                         "or choose another port.");
    EXPECT_FALSE(second.Connected());
    port.ClosePort();

    // Closing gives the device back whole while the far end stays open: no
    // exclusive flag left behind (it would keep out every unprivileged
    // opener) and no lock.
    const int fd = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0) << errno;
    int exclusive = -1;
    EXPECT_EQ(::ioctl(fd, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    ::close(fd);
    second.OpenPort();
    EXPECT_TRUE(second.Connected());
}

// The terminal is handed back as it was found, speed and modes included.
TEST_F(PortOnPty, ClosingPutsBackTheTerminalSettings) {
    const termios before = MasterView();
    port.OpenPort();
    port.SetBaudRate(br19200);
    ASSERT_FALSE(MasterView().c_lflag & ICANON);
    port.ClosePort();
    const termios after = MasterView();
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_oflag, before.c_oflag);
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(cfgetispeed(&after), cfgetispeed(&before));
    EXPECT_TRUE(std::equal(std::begin(after.c_cc), std::end(after.c_cc), std::begin(before.c_cc)));
}

TEST_F(PortOnPty, MissingDeviceGivesErrorOneAndStaysClosed) {
    int beforeOpen = 0, afterOpen = 0;
    port.OnBeforeOpen = [&](TCustomComPort&) { ++beforeOpen; };
    port.OnAfterOpen = [&](TCustomComPort&) { ++afterOpen; };
    port.SetPort("/dev/no-such-tty-here");
    const EComPort e = Raised([&] { port.OpenPort(); });
    EXPECT_EQ(e.ErrorNumber(), 1);
    EXPECT_EQ(e.SystemErrorCode(), ENOENT);
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(beforeOpen, 1);
    EXPECT_EQ(afterOpen, 0);
}

TEST_F(PortOnPty, ReadReturnsAtOnceWithWhatIsBuffered) {
    port.SetEvents({});
    port.OpenPort();
    std::string text = "old";
    EXPECT_EQ(port.ReadText(text, 3), 0);
    EXPECT_TRUE(text.empty());

    pty.Send("abcde");
    ASSERT_TRUE(WaitFor([&] { return port.WaitingInputCount() == 5; }));
    const auto start = Clock::now();
    EXPECT_EQ(port.ReadText(text, 3), 3);
    EXPECT_LT(Clock::now() - start, 50ms);
    EXPECT_EQ(text, "abc");
    EXPECT_EQ(port.WaitingInputCount(), 2);
    EXPECT_EQ(port.ReadText(text, 0), 0);
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(port.ReadText(text, 3), 2);
    EXPECT_EQ(text, "de");

    // Every byte value passes unchanged, also 0xFF and zero.
    const std::string raw("\xff\x00\xff\xff\x01\x7f", 6);
    pty.Send(raw);
    ASSERT_TRUE(WaitFor([&] { return port.WaitingInputCount() == 6; }));
    EXPECT_EQ(port.ReadText(text, 10), 6);
    EXPECT_EQ(text, raw);
}

TEST_F(PortOnPty, WritesAndPurges) {
    port.OpenPort();
    EXPECT_EQ(port.WriteText(""), 0);
    EXPECT_EQ(port.WriteText("\xAE"), 1);
    EXPECT_EQ(pty.Receive(1), "\xAE");
    const std::string all = [] {
        std::string s;
        for (int i = 0; i < 256; ++i) s += static_cast<char>(i);
        return s;
    }();
    EXPECT_EQ(port.WriteText(all), 256);
    EXPECT_EQ(pty.Receive(256), all);

    pty.Send("12345");
    ASSERT_TRUE(WaitFor([&] { return port.WaitingInputCount() == 5; }));
    port.PurgeBuffers(true, false);
    EXPECT_EQ(port.WaitingInputCount(), 0);
    port.PurgeBuffers(false, false);
    port.SetBreakState(true);
    port.SetBreakState(false);
}

TEST(PortBreak, SetAndClearReachTheDeviceInThatOrder) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    PortRecordingBreaks port;
    port.SetPort(pty.SlavePath());
    port.OpenPort();
    port.SetBreakState(true);
    port.SetBreakState(false);
    EXPECT_EQ(port.requests, (std::vector<unsigned long>{TIOCSBRK, TIOCCBRK}));
}

TEST_F(PortOnPty, DiscardNullAndEventCharacter) {
    port.SetDiscardNull(true);
    port.SetEventChar('\n');
    port.SetEvents({evRxFlag});
    std::atomic<int> flags{0};
    port.OnRxFlag = [&](TCustomComPort&) { ++flags; };
    port.OpenPort();
    pty.Send(std::string("a\0b\n", 4));
    ASSERT_TRUE(WaitFor([&] { return flags.load() == 1; }));
    std::string text;
    EXPECT_EQ(port.ReadText(text, 10), 3);
    EXPECT_EQ(text, "ab\n");
    port.ClosePort();  // before the handler's locals go
}

TEST_F(PortOnPty, TransmitEmptyFollowsAWrite) {
    port.SetEvents({evTxEmpty});
    std::atomic<int> empties{0};
    port.OnTxEmpty = [&](TCustomComPort&) { ++empties; };
    port.OpenPort();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(empties.load(), 0);
    port.WriteText("x");
    EXPECT_TRUE(WaitFor([&] { return empties.load() == 1; }));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(empties.load(), 1);
    port.ClosePort();  // before the handler's locals go
}

TEST_F(PortOnPty, EventsInOrderOnOpenAndClose) {
    std::vector<std::string> log;
    port.OnBeforeOpen = [&](TCustomComPort&) { log.push_back("BeforeOpen"); };
    port.OnAfterOpen = [&](TCustomComPort& p) { log.push_back(p.Connected() ? "AfterOpen" : "AfterOpen?"); };
    port.OnBeforeClose = [&](TCustomComPort&) { log.push_back("BeforeClose"); };
    port.OnAfterClose = [&](TCustomComPort& p) { log.push_back(p.Connected() ? "AfterClose?" : "AfterClose"); };
    port.OnCTSChange = [&](TCustomComPort&, bool on) { log.push_back(on ? "CTS+" : "CTS-"); };
    port.OnDSRChange = [&](TCustomComPort&, bool on) { log.push_back(on ? "DSR+" : "DSR-"); };
    port.OnRLSDChange = [&](TCustomComPort&, bool on) { log.push_back(on ? "RLSD+" : "RLSD-"); };
    port.OpenPort();
    port.OpenPort();  // already open: nothing
    port.ClosePort();
    port.ClosePort();  // already closed: nothing
    const std::vector<std::string> expected = {"BeforeOpen", "AfterOpen", "CTS-",        "DSR-",      "RLSD-",
                                               "CTS-",       "DSR-",      "RLSD-",       "BeforeClose", "AfterClose"};
    EXPECT_EQ(log, expected);

    log.clear();
    port.SetConnected(true);
    port.SetConnected(true);
    EXPECT_EQ(log.size(), 5u);
    EXPECT_FALSE(port.ThreadCreated() == false);
    port.SetConnected(false);
    EXPECT_EQ(log.size(), 10u);
}

TEST_F(PortOnPty, ClosedPortOperationsFailWithTheirOwnErrors) {
    std::string text;
    EXPECT_EQ(Raised([&] { port.WriteText("x"); }).ErrorNumber(), CError_WriteFailed);
    const EComPort read = Raised([&] { port.ReadText(text, 1); });
    EXPECT_EQ(read.ErrorNumber(), CError_ReadFailed);
    EXPECT_EQ(read.SystemErrorCode(), EBADF);
    EXPECT_EQ(Raised([&] { port.PurgeBuffers(true, true); }).ErrorNumber(), CError_PurgeFailed);
    EXPECT_EQ(Raised([&] { port.SetBreakState(true); }).ErrorNumber(), CError_EscapeComFailed);
    EXPECT_EQ(Raised([&] { port.WaitingInputCount(); }).ErrorNumber(), CError_ClearComFailed);
    EXPECT_EQ(Raised([&] { port.ReadModemSignals(); }).ErrorNumber(), CError_ModemStatFailed);
    const EComPort async = Raised([&] { port.StartRead(nullptr, 1, nullptr); });
    EXPECT_EQ(async.ErrorNumber(), CError_InvalidAsync);
    EXPECT_EQ(async.SystemErrorCode(), -1);
    EXPECT_EQ(Raised([&] { port.AwaitTransfer(nullptr); }).ErrorNumber(), CError_InvalidAsync);
    // A record on which nothing was started completes at once with nothing.
    TComTransfer idle;
    EXPECT_EQ(port.AwaitTransfer(&idle), 0);

    port.OpenPort();
    port.ClosePort();
    EXPECT_EQ(Raised([&] { port.WriteText("x"); }).SystemErrorCode(), EBADF);
}

TEST_F(PortOnPty, SyncMethodCannotChangeWhileConnected) {
    port.OpenPort();
    port.SetSyncMethod(smNone);  // the same value raises nothing
    const EComPort e = Raised([&] { port.SetSyncMethod(smThreadSync); });
    EXPECT_EQ(e.ErrorNumber(), CError_ConnChangeProp);
    EXPECT_STREQ(e.what(), "Cannot set property while connected");
    EXPECT_EQ(port.SyncMethod(), smNone);
    port.ClosePort();
    port.SetSyncMethod(smThreadSync);
    EXPECT_EQ(port.SyncMethod(), smThreadSync);
}

TEST_F(PortOnPty, ChangingThePortNameReopens) {
    PtyPair other;
    ASSERT_TRUE(other.Ok());
    int opens = 0;
    port.OnAfterOpen = [&](TCustomComPort&) { ++opens; };
    port.OpenPort();
    port.SetPort(other.SlavePath());
    EXPECT_EQ(opens, 2);
    EXPECT_TRUE(port.Connected());
    port.WriteText("k");
    EXPECT_EQ(other.Receive(1), "k");

    EXPECT_EQ(Raised([&] { port.SetPort("/dev/no-such-tty-here"); }).ErrorNumber(), 1);
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(port.Port(), "/dev/no-such-tty-here");
}

TEST_F(PortOnPty, RxCharReportsWaitingBytesOneHandlerAtATime) {
    std::mutex lock;
    std::vector<int> counts;
    std::atomic<bool> inside{false};
    std::atomic<bool> overlapped{false};
    std::string received;
    port.OnRxChar = [&](TCustomComPort& p, int count) {
        if (inside.exchange(true)) overlapped = true;
        {
            std::lock_guard guard(lock);
            counts.push_back(count);
        }
        if (counts.size() == 1) std::this_thread::sleep_for(100ms);  // bytes arrive meanwhile
        std::string text;
        p.ReadText(text, count);
        {
            std::lock_guard guard(lock);
            received += text;
        }
        inside = false;
    };
    port.OpenPort();
    pty.Send("12345");
    ASSERT_TRUE(WaitFor([&] {
        std::lock_guard guard(lock);
        return !counts.empty();
    }));
    pty.Send("67");
    ASSERT_TRUE(WaitFor([&] {
        std::lock_guard guard(lock);
        return received.size() == 7;
    }));
    std::lock_guard guard(lock);
    EXPECT_EQ(counts.front(), 5);
    EXPECT_EQ(received, "1234567");
    EXPECT_FALSE(overlapped);
    for (int c : counts) EXPECT_GT(c, 0);
    port.ClosePort();  // before the handler's locals go
}

TEST_F(PortOnPty, EventsTakeEffectAtTheNextOpening) {
    std::atomic<int> calls{0};
    port.OnRxChar = [&](TCustomComPort&, int) { ++calls; };
    port.SetEvents({});
    port.OpenPort();
    EXPECT_FALSE(port.ThreadCreated());
    port.SetEvents({evRxChar});
    pty.Send("a");
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(calls.load(), 0);
    port.ClosePort();
    port.OpenPort();
    EXPECT_TRUE(port.ThreadCreated());
    pty.Send("b");
    // the byte left from before may be announced on its own first
    EXPECT_TRUE(WaitFor([&] { return calls.load() >= 1; }));
    port.ClosePort();  // before the handler's locals go
}

TEST_F(PortOnPty, BytesLeftUnreadAreAnnouncedOnceAndTheThreadSleeps) {
    std::atomic<int> calls{0};
    port.OnRxChar = [&](TCustomComPort&, int) { ++calls; };  // reads nothing
    port.SetEvents(kAllComEvents);
    port.OpenPort();
    pty.Send("abc");
    ASSERT_TRUE(WaitFor([&] { return calls.load() >= 1; }));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(calls.load(), 1);

    const double cpuBefore = ProcessCpuMs();
    std::this_thread::sleep_for(1000ms);
    EXPECT_LT(ProcessCpuMs() - cpuBefore, 20.0);
    EXPECT_EQ(calls.load(), 1);

    pty.Send("d");  // a new arrival is announced again, with everything waiting
    ASSERT_TRUE(WaitFor([&] { return calls.load() == 2; }));
    EXPECT_EQ(port.WaitingInputCount(), 4);
    port.ClosePort();  // before the handler's locals go
}

TEST_F(PortOnPty, UnreadBytesAreBoundedAndTheOverflowReported) {
    CountLineErrors(errRxOverflow);
    port.OpenPort();
    std::string sent(1 << 20, '\0');
    for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<char>('a' + i % 26);
    pty.Send(sent);
    ASSERT_TRUE(WaitFor([&] { return lineErrors.load() > 0; }));

    // The oldest bytes are kept, well above the input size and far below what was sent.
    const int kept = port.WaitingInputCount();
    EXPECT_GT(kept, 16 * port.Buffer().InputSize());
    EXPECT_LE(kept, 512 * 1024);
    std::string text;
    EXPECT_EQ(port.ReadText(text, kept), kept);
    EXPECT_EQ(text, sent.substr(0, static_cast<std::size_t>(kept)));
    // Room again: a new byte is queued behind whatever was still on its way.
    pty.Send("z");
    EXPECT_TRUE(WaitFor([&] {
        port.ReadText(text, 1 << 16);
        return !text.empty() && text.back() == 'z';
    }));
}

TEST_F(PortOnPty, Rx80FullIsRaisedOnceWhenTheQueueReachesIt) {
    port.Buffer().SetInputSize(100);
    port.SetEvents({evRx80Full});
    std::atomic<int> raised{0};
    port.OnRx80Full = [&](TCustomComPort&) { ++raised; };
    port.OpenPort();
    pty.Send(std::string(79, 'a'));
    ASSERT_TRUE(WaitFor([&] { return port.WaitingInputCount() == 79; }));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(raised.load(), 0);
    pty.Send("b");
    EXPECT_TRUE(WaitFor([&] { return raised.load() == 1; }));
    pty.Send("c");
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(raised.load(), 1);
    port.ClosePort();  // before the handler's locals go
}

TEST_F(PortOnPty, ClosingDiscardsWaitingBytes) {
    port.OpenPort();
    pty.Send("xyz");
    ASSERT_TRUE(WaitFor([&] { return port.WaitingInputCount() == 3; }));
    port.ClosePort();
    port.OpenPort();
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(port.WaitingInputCount(), 0);
}

TEST_F(PortOnPty, ClosingReleasesTheDeviceThatTransferRecordsStillHold) {
    const auto openDescriptors = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    };
    const auto before = openDescriptors();
    port.OpenPort();
    pty.Send("ab");
    ASSERT_TRUE(WaitFor([&] { return port.WaitingInputCount() == 2; }));
    TComTransfer* finished = TCustomComPort::NewTransfer();
    char buffer[4];
    EXPECT_EQ(port.StartRead(buffer, 4, finished), 2);
    port.ClosePort();
    EXPECT_EQ(port.AwaitTransfer(finished), 2);
    port.OpenPort();
    port.ClosePort();
    EXPECT_EQ(openDescriptors(), before);
    TCustomComPort::FreeTransfer(finished);
}

TEST_F(PortOnPty, ClosingEndsABlockedReadAndWriteWithTheirErrors) {
    port.Timeouts().SetReadTotalConstant(5000);
    port.Timeouts().SetWriteTotalMultiplier(0);
    port.Timeouts().SetWriteTotalConstant(0);  // no write limit: blocks while the far end reads nothing
    port.OpenPort();
    std::atomic<int> readError{0}, writeError{0};
    std::thread reader([&] {
        std::string text;
        try {
            port.ReadText(text, 10);
        } catch (const EComPort& e) {
            readError = e.ErrorNumber();
        }
    });
    std::thread writer([&] {
        try {
            port.WriteText(std::string(1 << 20, 'w'));
        } catch (const EComPort& e) {
            writeError = e.ErrorNumber();
        }
    });
    std::this_thread::sleep_for(200ms);
    const auto start = Clock::now();
    port.ClosePort();
    reader.join();
    writer.join();
    EXPECT_LT(Clock::now() - start, 1000ms);
    EXPECT_EQ(readError.load(), CError_ReadFailed);
    EXPECT_EQ(writeError.load(), CError_WriteFailed);
}

TEST_F(PortOnPty, ReadsWaitAsTheTimeoutsSay) {
    port.SetEvents({});
    port.Timeouts().SetReadTotalConstant(150);
    port.OpenPort();
    std::string text;
    auto start = Clock::now();
    // The total timeout holds whether none or some of the bytes came.
    for (const std::string sent : {"", "ab"}) {
        pty.Send(sent);
        start = Clock::now();
        EXPECT_EQ(port.ReadText(text, 4), static_cast<int>(sent.size()));
        EXPECT_GE(Clock::now() - start, 140ms) << sent.size() << " bytes sent";
        EXPECT_EQ(text, sent);
    }

    // Asynchronous: pending at first, completed by the bytes that arrive.
    port.Timeouts().SetReadTotalConstant(3000);
    char buffer[3];
    TComTransfer transfer;
    EXPECT_EQ(port.StartRead(buffer, 3, &transfer), 0);
    EXPECT_EQ(transfer.Kind(), trRead);
    pty.Send("ab");
    std::this_thread::sleep_for(20ms);
    pty.Send("c");
    start = Clock::now();
    EXPECT_EQ(port.AwaitTransfer(&transfer), 3);
    EXPECT_LT(Clock::now() - start, 1000ms);
    EXPECT_EQ(std::string(buffer, 3), "abc");

    // Interval timeout: the read ends after a pause between bytes.
    port.Timeouts().SetReadInterval(50);
    port.Timeouts().SetReadTotalConstant(0);
    pty.Send("z");
    start = Clock::now();
    EXPECT_EQ(port.ReadText(text, 10), 1);
    EXPECT_LT(Clock::now() - start, 1000ms);
}

TEST_F(PortOnPty, HandlerErrorStopsMonitoringUntilReopened) {
    std::atomic<int> calls{0};
    port.OnRxChar = [&](TCustomComPort& p, int count) {
        ++calls;
        std::string text;
        p.ReadText(text, count);
        if (calls == 1) throw EComPort(CError_ReadFailed, 5);
    };
    port.OpenPort();
    pty.Send("a");
    ASSERT_TRUE(WaitFor([&] { return calls.load() == 1; }));
    ASSERT_TRUE(WaitFor([&] { return port.MonitoringError() != nullptr; }));
    pty.Send("b");
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(calls.load(), 1);
    EXPECT_TRUE(port.Connected());
    std::string text;
    EXPECT_EQ(port.ReadText(text, 5), 1);  // still usable
    EXPECT_EQ(text, "b");

    port.ClosePort();
    port.OpenPort();
    EXPECT_EQ(port.MonitoringError(), nullptr);
    pty.Send("c");
    EXPECT_TRUE(WaitFor([&] { return calls.load() == 2; }));
    port.ClosePort();  // before the handler's locals go
}

// The far end of a pseudo-terminal closing hangs the tty up, as a USB
// adapter pulled out does: monitoring ends and says so once, every call
// names the port as removed, the port closes whole, and the name opens
// again once a device is back behind it (here a link re-pointed to a new pty).
TEST_F(PortOnPty, FarEndClosingIsARemovedDeviceThatOpensAgainWhenBack) {
    const auto openDescriptors = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    };
    const std::string link = std::filesystem::temp_directory_path() / ("pd-unplug-" + std::to_string(::getpid()));
    std::filesystem::remove(link);
    std::filesystem::create_symlink(pty.SlavePath(), link);
    port.SetPort(link);
    CountLineErrors(errIO);
    std::atomic<int> removals{0};
    port.OnRemoved = [&](TCustomComPort&) { ++removals; };
    const auto before = openDescriptors();
    port.OpenPort();
    pty.CloseMaster();
    ASSERT_TRUE(WaitFor([&] { return removals.load() == 1; }));
    EXPECT_EQ(lineErrors.load(), 1) << "the hang-up is a line error first";
    const std::string said = RemovedDeviceLine(link);
    EXPECT_NE(said.find(link), std::string::npos) << said;
    EXPECT_TRUE(said.ends_with("was removed. Plug it in and choose the port again.")) << said;
    ASSERT_NE(port.MonitoringError(), nullptr);
    try {
        std::rethrow_exception(port.MonitoringError());
    } catch (const EComPort& e) {
        EXPECT_TRUE(e.DeviceRemoved());
        EXPECT_EQ(e.Message(), said);
    }
    const EComPort write = Raised([&] { port.WriteText("x"); });
    EXPECT_EQ(write.ErrorNumber(), CError_WriteFailed);
    EXPECT_EQ(write.Message(), said);
    std::string text;
    EXPECT_EQ(Raised([&] { port.ReadText(text, 1); }).ErrorNumber(), CError_ReadFailed);
    EXPECT_EQ(Raised([&] { port.SetBreakState(true); }).Message(), said);

    const double cpuBefore = ProcessCpuMs();
    std::this_thread::sleep_for(300ms);
    EXPECT_LT(ProcessCpuMs() - cpuBefore, 20.0);
    EXPECT_EQ(removals.load(), 1);
    const auto start = Clock::now();
    ASSERT_NO_THROW(port.ClosePort());
    EXPECT_LT(Clock::now() - start, 1000ms);
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(openDescriptors(), before - 1) << "the far end's is the only one gone";

    PtyPair back;
    ASSERT_TRUE(back.Ok());
    std::filesystem::remove(link);
    std::filesystem::create_symlink(back.SlavePath(), link);
    std::string received;
    std::mutex lock;
    port.OnRxChar = [&](TCustomComPort& p, int count) {
        std::string bytes;
        p.ReadText(bytes, count);
        std::lock_guard guard(lock);
        received += bytes;
    };
    ASSERT_NO_THROW(port.OpenPort());
    EXPECT_EQ(port.MonitoringError(), nullptr);
    back.Send("ok");
    EXPECT_TRUE(WaitFor([&] {
        std::lock_guard guard(lock);
        return received == "ok";
    }));
    port.WriteText("k");
    EXPECT_EQ(back.Receive(1), "k");
    port.ClosePort();
    EXPECT_EQ(removals.load(), 1);
    std::filesystem::remove(link);
}

TEST_F(PortOnPty, ClosingFromTheMonitoringThreadDoesNotHang) {
    std::atomic<bool> closed{false};
    port.OnRxChar = [&](TCustomComPort& p, int) {
        p.ClosePort();
        closed = true;
    };
    port.OpenPort();
    pty.Send("q");
    ASSERT_TRUE(WaitFor([&] { return closed.load(); }));
    EXPECT_FALSE(port.Connected());
    port.OpenPort();
    EXPECT_TRUE(port.Connected());
    port.ClosePort();  // before the handler's locals go
}

TEST_F(PortOnPty, ThreadSyncRunsHandlersThroughTheDispatcher) {
    // A stand-in GUI thread that runs posted tasks in order.
    std::mutex lock;
    std::condition_variable wake;
    std::vector<std::function<void()>> tasks;
    bool quit = false;
    bool busy = false;
    std::thread gui([&] {
        std::unique_lock guard(lock);
        for (;;) {
            wake.wait(guard, [&] { return quit || (!busy && !tasks.empty()); });
            if (tasks.empty()) return;
            auto task = std::move(tasks.front());
            tasks.erase(tasks.begin());
            guard.unlock();
            task();
            guard.lock();
        }
    });
    const auto guiId = gui.get_id();
    port.GuiDispatcher = [&](std::function<void()> task) {
        std::lock_guard guard(lock);
        tasks.push_back(std::move(task));
        wake.notify_all();
    };
    port.ClosePort();
    port.SetSyncMethod(smThreadSync);
    std::atomic<bool> onGui{false};
    std::atomic<int> calls{0};
    port.OnRxChar = [&](TCustomComPort& p, int count) {
        onGui = std::this_thread::get_id() == guiId;
        std::string text;
        p.ReadText(text, count);
        ++calls;
    };
    port.OpenPort();
    pty.Send("s");
    EXPECT_TRUE(WaitFor([&] { return calls.load() == 1; }));
    EXPECT_TRUE(onGui.load());
    port.ClosePort();

    // Closing while a cycle still waits for the busy GUI thread abandons it.
    {
        std::lock_guard guard(lock);
        busy = true;
    }
    port.OpenPort();
    pty.Send("v");
    ASSERT_TRUE(WaitFor([&] {
        std::lock_guard guard(lock);
        return !tasks.empty();
    }));
    const auto start = Clock::now();
    port.ClosePort();
    EXPECT_LT(Clock::now() - start, 1000ms);
    {
        std::lock_guard guard(lock);
        busy = false;
        wake.notify_all();
    }
    EXPECT_TRUE(WaitFor([&] {
        std::lock_guard guard(lock);
        return tasks.empty();
    }));
    EXPECT_EQ(calls.load(), 1);

    // Window sync: handler errors go to the application and monitoring goes on.
    port.SetSyncMethod(smWindowSync);
    std::atomic<int> reported{0};
    SetApplicationExceptionHandler([&](TComponent*, std::exception_ptr) { ++reported; });
    port.OnRxChar = [&](TCustomComPort& p, int count) {
        std::string text;
        p.ReadText(text, count);
        ++calls;
        throw EComPort(CError_ReadFailed, 1);
    };
    port.OpenPort();
    pty.Send("t");
    EXPECT_TRUE(WaitFor([&] { return calls.load() == 2; }));
    pty.Send("u");
    EXPECT_TRUE(WaitFor([&] { return calls.load() == 3; }));
    EXPECT_TRUE(WaitFor([&] { return reported.load() == 2; }));
    port.ClosePort();
    SetApplicationExceptionHandler(nullptr);
    {
        std::lock_guard guard(lock);
        quit = true;
        wake.notify_all();
    }
    gui.join();
}
