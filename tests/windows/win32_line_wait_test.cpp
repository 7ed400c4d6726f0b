// The Windows backend's line-event wait and the records it hands to the
// system, on the echoing COM port (PD_TEST_COM_PORT, see win32_device_test),
// with entries of the backend's system-call table replaced: to count the
// calls, to record what is handed over, or to play a driver whose waits
// misbehave as some do (Wine's on a port without modem lines among them).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "cli/headless_window.h"
#include "program_port.h"
#include "protocol/pump_protocol.h"
#include "report/journal.h"
#include "serial/com_port.h"
#include "serial/open_failure.h"
#include "serial/device/win32_comm_calls.h"  // with the system's header, after the device layer's
#include "window/handler_guard.h"
#undef SetPort  // the printing spooler's, not the port's

using namespace serial;
using Clock = std::chrono::steady_clock;
using serial::device::Comm;

namespace {

constexpr ULONG_PTR kStatusPending = 0x103;
constexpr ULONG_PTR kStatusCancelled = 0xC0000120;

const serial::device::CommCalls kSystem;
std::atomic<long> calls{0};
// WaitCommEvent's calls on their own: a driver whose waits give nothing is
// asked a few times, then the input queue is watched instead.
std::atomic<long> waits{0};

// The blocks of the waits played as pending: only those are cancelled in
// play. A wait the system holds is cancelled by the system, which writes its
// block until it lets it go; a played cancellation would have the block freed
// under the system's pen.
std::mutex playedLock;
std::set<LPOVERLAPPED> played;
void NotePlayed(LPOVERLAPPED o) {
    std::lock_guard guard(playedLock);
    played.insert(o);
}
bool TakePlayed(LPOVERLAPPED o) {
    std::lock_guard guard(playedLock);
    return played.erase(o) > 0;
}

BOOL WINAPI CountedClearCommError(HANDLE h, LPDWORD errors, LPCOMSTAT stat) {
    ++calls;
    return kSystem.clearCommError(h, errors, stat);
}
BOOL WINAPI CountedWait(HANDLE h, LPDWORD mask, LPOVERLAPPED o) {
    ++calls;
    ++waits;
    return kSystem.waitCommEvent(h, mask, o);
}
// A driver that refuses every wait, as after an adapter's glitch.
BOOL WINAPI RefusingWait(HANDLE, LPDWORD, LPOVERLAPPED) {
    ++calls;
    ++waits;
    SetLastError(ERROR_GEN_FAILURE);
    return FALSE;
}
// One whose waits complete at once with nothing.
BOOL WINAPI EmptyAtOnceWait(HANDLE, LPDWORD mask, LPOVERLAPPED o) {
    ++calls;
    ++waits;
    *mask = 0;
    o->Internal = 0;
    SetEvent(o->hEvent);
    return TRUE;
}
// A wait played as pending, its event set or not.
BOOL PlayPending(LPDWORD mask, LPOVERLAPPED o, bool signalled) {
    ++calls;
    ++waits;
    NotePlayed(o);
    *mask = 0;
    o->Internal = kStatusPending;
    if (signalled) SetEvent(o->hEvent);
    else ResetEvent(o->hEvent);
    SetLastError(ERROR_IO_PENDING);
    return FALSE;
}
// One that signals a wait's event while the wait is still incomplete.
BOOL WINAPI StaleSignalWait(HANDLE, LPDWORD mask, LPOVERLAPPED o) { return PlayPending(mask, o, true); }
// One whose waits stay pending whatever arrives (Wine's with modem lines
// misses some arrivals so).
BOOL WINAPI DeafWait(HANDLE, LPDWORD mask, LPOVERLAPPED o) { return PlayPending(mask, o, false); }
BOOL WINAPI CountedOverlappedResult(HANDLE h, LPOVERLAPPED o, LPDWORD n, BOOL wait) {
    ++calls;
    return kSystem.getOverlappedResult(h, o, n, wait);
}
// Cancelling the played waits completes them, as the system does.
BOOL WINAPI CancelPlayed(HANDLE h, LPOVERLAPPED o) {
    if (o && TakePlayed(o)) {
        o->Internal = kStatusCancelled;
        SetEvent(o->hEvent);
        return TRUE;
    }
    return kSystem.cancelIoEx(h, o);
}

std::string TestPort() {
    const char* name = std::getenv("PD_TEST_COM_PORT");
    return name ? name : "";
}

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

template <typename Done>
bool WaitFor(Done done) {
    for (auto end = Clock::now() + std::chrono::seconds(5); !done();) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// The system-call table as found, put back after each test; the port with
// the program's settings but without parity (see win32_device_test).
class CommTable : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(TestPort().empty()) << "PD_TEST_COM_PORT names no port";
        calls = 0;
        waits = 0;
        Comm().clearCommError = CountedClearCommError;
        Comm().waitCommEvent = CountedWait;
        Comm().getOverlappedResult = CountedOverlappedResult;
        Comm().cancelIoEx = CancelPlayed;
        ConfigureAsProgram(port);
        port.Parity().SetBits(prNone);
        port.SetPort(TestPort());
        port.OnRxChar = [this](TCustomComPort& p, int count) {
            std::string bytes;
            p.ReadText(bytes, count);
            std::lock_guard guard(lock);
            received += bytes;
        };
    }
    void TearDown() override {
        port.ClosePort();
        Comm() = kSystem;
        std::lock_guard guard(playedLock);
        played.clear();
    }
    std::string Received() {
        std::lock_guard guard(lock);
        return received;
    }

    std::mutex lock;
    std::string received;
    TComPort port;
};

}  // namespace

// A spinning wait makes thousands of calls a millisecond; a wait that blocks
// makes a few, while the line is quiet and after bytes came. A driver whose
// waits give nothing, or stay pending, is asked for a few waits over the
// whole opening, however long the line stays quiet: a line wait that kept
// asking it once a millisecond would make hundreds in these 300 ms.
TEST_F(CommTable, DriversWhoseWaitsMisbehaveNeitherSpinNorMissBytes) {
    struct Driver {
        const char* name;
        BOOL(WINAPI* wait)(HANDLE, LPDWORD, LPOVERLAPPED);
        bool fewWaits;
    };
    const Driver drivers[] = {
        {"the system's", CountedWait, false},  // Wine's fail at once on a pty; Windows' block
        {"refusing every wait", RefusingWait, true},
        {"completing at once with nothing", EmptyAtOnceWait, true},
        {"signalling an incomplete wait", StaleSignalWait, true},
        {"never reporting an arrival", DeafWait, true},
    };
    constexpr long kFewWaits = 32;
    for (const Driver& driver : drivers) {
        SCOPED_TRACE(driver.name);
        Comm().waitCommEvent = driver.wait;
        waits = 0;
        {
            std::lock_guard guard(lock);
            received.clear();
        }
        port.OpenPort();
        port.WriteText("ab");
        EXPECT_TRUE(WaitFor([&] { return Received().size() >= 2; })) << "received " << Received().size();
        const auto start = Clock::now();
        const long before = calls;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const double ms = MsSince(start);
        EXPECT_LT(calls - before, 4 * ms + 50) << "over " << ms << " ms";
        port.WriteText("c");
        EXPECT_TRUE(WaitFor([&] { return Received().size() >= 3; })) << "deaf after a quiet line";
        if (driver.fewWaits) {
            EXPECT_LE(waits, kFewWaits) << "the driver's waits were asked again and again";
        }
        const auto closing = Clock::now();
        port.ClosePort();
        EXPECT_LT(MsSince(closing), 3000.0);
        EXPECT_EQ(Received(), "abc");
    }
}

// A driver given up for the queue watch has its waits tried again after some
// seconds (a real driver's miss is a race; the port's driver may have
// changed); one that still gives nothing is given up again at once.
TEST_F(CommTable, AGivenUpDriverIsTriedAgainAfterAWatch) {
    constexpr long kFewWaits = 32;
    Comm().waitCommEvent = EmptyAtOnceWait;
    port.OpenPort();
    port.WriteText("a");
    ASSERT_TRUE(WaitFor([&] { return Received() == "a"; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const long givenUp = waits;
    EXPECT_LE(givenUp, kFewWaits);
    const auto watch = Clock::now();
    while (waits == givenUp && MsSince(watch) < 10'000) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_GT(waits, givenUp) << "the driver's waits were never tried again";
    EXPECT_GT(MsSince(watch), 2000.0) << "tried again before the watch had lasted";
    const long tried = waits;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_LE(waits - tried, kFewWaits) << "a driver that still gives nothing was kept";
    port.WriteText("b");
    EXPECT_TRUE(WaitFor([&] { return Received() == "ab"; })) << Received();
}

// Bytes that arrive while the handler runs, or after a purge, raise the
// next OnRxChar, whatever the driver's waits make of them.
TEST_F(CommTable, BytesLeftByTheHandlerOrArrivingAfterAPurgeAreAnnounced) {
    std::atomic<int> handlerCalls{0};
    port.OnRxChar = [&](TCustomComPort& p, int count) {
        std::string bytes;
        p.ReadText(bytes, count);
        {
            std::lock_guard guard(lock);
            received += bytes;
        }
        // The first handler sends a byte whose echo arrives while it still runs.
        if (handlerCalls++ == 0) {
            p.WriteText("y");
            WaitFor([&] { return p.WaitingInputCount() > 0; });
        }
    };
    port.OpenPort();
    port.WriteText("x");
    EXPECT_TRUE(WaitFor([&] { return Received() == "xy"; })) << Received();
    port.PurgeBuffers(true, true);
    port.WriteText("z");
    EXPECT_TRUE(WaitFor([&] { return Received() == "xyz"; })) << Received();
}

namespace {

std::mutex recordLock;
std::vector<DCB> handedStates;

BOOL WINAPI RecordState(HANDLE h, LPDCB dcb) {
    {
        std::lock_guard guard(recordLock);
        handedStates.push_back(*dcb);
    }
    // A pseudo-terminal refuses parity once set; what matters is what was handed over.
    return dcb->Parity == NOPARITY ? kSystem.setCommState(h, dcb) : TRUE;
}

std::atomic<bool> frameErrorDue{false};
BOOL WINAPI FrameErrorOnce(HANDLE h, LPDWORD errors, LPCOMSTAT stat) {
    const BOOL ok = kSystem.clearCommError(h, errors, stat);
    if (ok && frameErrorDue.exchange(false)) *errors |= CE_FRAME;
    return ok;
}

// While set, the bytes counted go at once, as if a purge or another reader
// took them before the read that the count asked for.
std::atomic<bool> countGoesStale{false};
BOOL WINAPI StaleCount(HANDLE h, LPDWORD errors, LPCOMSTAT stat) {
    const BOOL ok = kSystem.clearCommError(h, errors, stat);
    if (ok && countGoesStale && stat->cbInQue > 0) PurgeComm(h, PURGE_RXCLEAR);
    if (ok && countGoesStale) stat->cbInQue = 1;
    return ok;
}

}  // namespace

TEST_F(CommTable, TheDeviceControlBlockCarriesTheParityCheckWhenItIsOn) {
    struct Row {
        TParityBits bits;
        bool check;
        DWORD fParity;
        BYTE parity;
    };
    const Row rows[] = {{prEven, true, 1, EVENPARITY}, {prEven, false, 0, EVENPARITY}, {prNone, true, 1, NOPARITY}};
    Comm().setCommState = RecordState;
    for (const Row& row : rows) {
        handedStates.clear();
        port.Parity().SetBits(row.bits);
        port.Parity().SetCheck(row.check);
        port.OpenPort();
        port.ClosePort();
        ASSERT_GE(handedStates.size(), 1u);
        const DCB& dcb = handedStates.front();
        EXPECT_EQ(dcb.fParity, row.fParity) << "check " << row.check << ", parity " << int(row.bits);
        EXPECT_EQ(dcb.Parity, row.parity);
        EXPECT_EQ(dcb.fBinary, 1u);
        EXPECT_EQ(dcb.BaudRate, 9600u);
    }
}

// A read's ClearCommError takes the line errors from the driver; they are
// still there for ReadLineErrors and for the error event.
TEST_F(CommTable, LineErrorsThatAReadClearedReachReadLineErrorsAndTheErrorEvent) {
    Comm().clearCommError = FrameErrorOnce;
    port.OpenPort();
    frameErrorDue = true;
    std::string nothing;
    port.ReadText(nothing, 1);
    EXPECT_FALSE(frameErrorDue);
    EXPECT_TRUE(port.ReadLineErrors().Contains(errFrame));
    EXPECT_TRUE(port.ReadLineErrors().Empty()) << "reported once";
    port.ClosePort();

    std::atomic<bool> frameSeen{false};
    port.SetEvents({evRxChar, evError});
    port.OnError = [&](TCustomComPort&, TComErrors errors) {
        if (errors.Contains(errFrame)) frameSeen = true;
    };
    port.OpenPort();
    frameErrorDue = true;
    port.ReadText(nothing, 1);
    port.WriteText("e");
    EXPECT_TRUE(WaitFor([&] { return frameSeen.load(); }));
}

// Closing puts back the settings found at the opening, and the port opens
// again at once, any number of times.
TEST_F(CommTable, ClosingPutsBackTheSettingsFoundAndThePortOpensAgain) {
    const std::wstring path = L"\\\\.\\" + std::wstring(TestPort().begin(), TestPort().end());
    auto current = [&] {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        COMMTIMEOUTS timeouts{};
        HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(h, INVALID_HANDLE_VALUE);
        GetCommState(h, &dcb);
        GetCommTimeouts(h, &timeouts);
        CloseHandle(h);
        return std::make_pair(dcb, timeouts);
    };
    const auto [found, foundTimeouts] = current();
    // The program's own settings: even parity, which a pseudo-terminal takes
    // only from settings without it.
    port.Parity().SetBits(prEven);
    port.SetBaudRate(found.BaudRate == 19200 ? br4800 : br19200);
    for (int i = 0; i < 3; ++i) {
        ASSERT_NO_THROW(port.OpenPort()) << "opening " << i + 1;
        port.ClosePort();
        const auto [dcb, timeouts] = current();
        EXPECT_EQ(dcb.BaudRate, found.BaudRate);
        EXPECT_EQ(dcb.ByteSize, found.ByteSize);
        EXPECT_EQ(dcb.Parity, found.Parity);
        EXPECT_EQ(timeouts.ReadIntervalTimeout, foundTimeouts.ReadIntervalTimeout);
        EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, foundTimeouts.WriteTotalTimeoutConstant);
    }
}

// A read whose waiting bytes went between the count and the read ends with
// nothing, as Windows ends it; Wine would keep it pending, and a closing
// waiting on a handler's read would never end.
TEST_F(CommTable, AReadWhoseBytesWentBeforeItEndsWithNothing) {
    port.SetEvents({});
    Comm().clearCommError = StaleCount;
    port.OpenPort();
    port.WriteText("p");
    ASSERT_TRUE(WaitFor([&] { return port.WaitingInputCount() > 0; }));
    countGoesStale = true;
    std::atomic<int> got{-1};
    std::thread reader([&] {
        std::string bytes;
        got = port.ReadText(bytes, 1);
    });
    const bool ended = WaitFor([&] { return got >= 0; });
    countGoesStale = false;
    EXPECT_TRUE(ended) << "the read still pends";
    if (!ended) port.WriteText("q");  // a byte that ends it, so that the test can end
    reader.join();
    if (ended) {
        EXPECT_EQ(got, 0);
    }
}

namespace {

// A USB adapter's driver, pulled out at a moment the test chooses: until then
// the system's, with waits that stay pending (the queue is looked at for the
// bytes); then its handle stays valid, every call fails with one code, and
// the pending wait ends as aborted, as Windows' USB serial drivers do.
std::atomic<DWORD> pulledOut{0};
BOOL Refused() {
    SetLastError(pulledOut);
    return FALSE;
}
BOOL WINAPI RemovableClearCommError(HANDLE h, LPDWORD errors, LPCOMSTAT stat) {
    return pulledOut ? Refused() : kSystem.clearCommError(h, errors, stat);
}
BOOL WINAPI RemovableWait(HANDLE, LPDWORD mask, LPOVERLAPPED o) { return pulledOut ? Refused() : DeafWait(nullptr, mask, o); }
BOOL WINAPI RemovableOverlappedResult(HANDLE h, LPOVERLAPPED o, LPDWORD n, BOOL wait) {
    return pulledOut ? Refused() : kSystem.getOverlappedResult(h, o, n, wait);
}
BOOL WINAPI RemovableRead(HANDLE h, LPVOID b, DWORD n, LPDWORD done, LPOVERLAPPED o) {
    return pulledOut ? Refused() : kSystem.readFile(h, b, n, done, o);
}
BOOL WINAPI RemovableWrite(HANDLE h, LPCVOID b, DWORD n, LPDWORD done, LPOVERLAPPED o) {
    return pulledOut ? Refused() : kSystem.writeFile(h, b, n, done, o);
}
BOOL WINAPI RemovablePurge(HANDLE h, DWORD flags) { return pulledOut ? Refused() : kSystem.purgeComm(h, flags); }
BOOL WINAPI RemovableEscape(HANDLE h, DWORD f) { return pulledOut ? Refused() : kSystem.escapeCommFunction(h, f); }
BOOL WINAPI RemovableModemStatus(HANDLE h, LPDWORD s) { return pulledOut ? Refused() : kSystem.getCommModemStatus(h, s); }
BOOL WINAPI RemovableMask(HANDLE h, DWORD m) { return pulledOut ? Refused() : kSystem.setCommMask(h, m); }
BOOL WINAPI RemovableState(HANDLE h, LPDCB d) { return pulledOut ? Refused() : kSystem.setCommState(h, d); }
BOOL WINAPI RemovableTimeouts(HANDLE h, LPCOMMTIMEOUTS t) {
    return pulledOut ? Refused() : kSystem.setCommTimeouts(h, t);
}

// The stand-in USB driver in place of the port's calls the window and the port make.
void UseRemovableDriver() {
    Comm().clearCommError = RemovableClearCommError;
    Comm().waitCommEvent = RemovableWait;
    Comm().getOverlappedResult = RemovableOverlappedResult;
    Comm().readFile = RemovableRead;
    Comm().writeFile = RemovableWrite;
    Comm().purgeComm = RemovablePurge;
    Comm().escapeCommFunction = RemovableEscape;
    Comm().getCommModemStatus = RemovableModemStatus;
    Comm().setCommMask = RemovableMask;
}

void PullOut(DWORD code) {
    pulledOut = code;
    std::lock_guard guard(playedLock);
    for (LPOVERLAPPED o : played) {
        o->Internal = kStatusCancelled;
        SetEvent(o->hEvent);
    }
    played.clear();
}

DWORD HandleCount() {
    DWORD n = 0;
    GetProcessHandleCount(GetCurrentProcess(), &n);
    return n;
}

}  // namespace

// Each code a removed adapter's driver answers with: monitoring ends and says
// so once, naming the port and what to do; a later call says the same
// instead of its own failure; the port closes whole; and once the adapter is
// back the name opens again and the line works.
TEST_F(CommTable, ARemovedAdapterEndsMonitoringClosesWholeAndOpensAgain) {
    const struct {
        const char* name;
        DWORD code;
    } rows[] = {
        {"access denied", ERROR_ACCESS_DENIED},   {"bad command", ERROR_BAD_COMMAND},
        {"general failure", ERROR_GEN_FAILURE},   {"device removed", ERROR_DEVICE_REMOVED},
        {"aborted", ERROR_OPERATION_ABORTED},
    };
    UseRemovableDriver();
    Comm().setCommState = RemovableState;
    Comm().setCommTimeouts = RemovableTimeouts;
    std::atomic<int> removals{0};
    port.OnRemoved = [&](TCustomComPort&) { ++removals; };
    const std::string said = RemovedDeviceLine(TestPort());
    EXPECT_NE(said.find("port " + TestPort() + " was removed. Plug it in and choose the port again."),
              std::string::npos)
        << said;
    // What an opening keeps for the process's life (timers, a thread's own
    // objects) is taken before the count.
    port.OpenPort();
    port.ClosePort();
    const DWORD handlesBefore = HandleCount();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        pulledOut = 0;
        removals = 0;
        {
            std::lock_guard guard(lock);
            received.clear();
        }
        ASSERT_NO_THROW(port.OpenPort());
        port.WriteText("ab");
        ASSERT_TRUE(WaitFor([&] { return Received() == "ab"; })) << Received();

        PullOut(row.code);
        ASSERT_TRUE(WaitFor([&] { return removals.load() == 1; })) << "monitoring did not end";
        ASSERT_NE(port.MonitoringError(), nullptr);
        try {
            std::rethrow_exception(port.MonitoringError());
        } catch (const EComPort& e) {
            EXPECT_TRUE(e.DeviceRemoved());
            EXPECT_EQ(e.Message(), said);
        }
        try {
            port.SetBreakState(true);
            ADD_FAILURE() << "a break on a removed adapter";
        } catch (const EComPort& e) {
            EXPECT_EQ(e.ErrorNumber(), CError_EscapeComFailed);
            EXPECT_EQ(e.Message(), said);
        }
        const auto closing = Clock::now();
        ASSERT_NO_THROW(port.ClosePort());
        EXPECT_LT(MsSince(closing), 3000.0);
        EXPECT_FALSE(port.Connected());
        EXPECT_EQ(HandleCount(), handlesBefore) << "a handle or an event of the removed device stayed";

        pulledOut = 0;  // plugged in again
        ASSERT_NO_THROW(port.OpenPort());
        EXPECT_EQ(port.MonitoringError(), nullptr);
        port.WriteText("c");
        EXPECT_TRUE(WaitFor([&] { return Received() == "abc"; })) << Received();
        port.ClosePort();
        EXPECT_EQ(removals.load(), 1);
    }
}

namespace {

std::vector<std::string> presented;
void Present() {
    try {
        throw;
    } catch (const core::Exception& e) {
        presented.push_back(e.Message());
    } catch (...) {
        presented.push_back("?");
    }
}

}  // namespace

// The window's logic (its headless face) on the port whose adapter is pulled
// out with each code: the removal is presented as the port's other errors
// are, names the port and the remedy, is the link's failure and a journal
// record; a start on the gone port says the same; choosing the port again
// opens it once the adapter is back.
TEST_F(CommTable, TheWindowSaysTheRemovalAndChoosingThePortAgainOpensIt) {
    port.ClosePort();
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "pd-removal-window";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    std::ofstream("port.ini", std::ios::binary) << TestPort();
    const window::ErrorPresenter previousPresenter = window::SetErrorPresenter(&Present);
    UseRemovableDriver();
    {
        auto com = window::MakeComPort();
        cli::HeadlessWindow form(*com);
        form.SetJournalPath((folder / "journal.csv").string());
        protocol::PumpProtocol engine(form.LinePort(), form);
        form.Attach(engine);
        engine.SetFirstStartValues();
        form.OpenPortFromIni();
        engine.SetRemainingStartValues();
        const std::string said = RemovedDeviceLine(TestPort());
        for (DWORD code : {ERROR_ACCESS_DENIED, ERROR_BAD_COMMAND, ERROR_GEN_FAILURE, ERROR_DEVICE_REMOVED,
                           ERROR_OPERATION_ABORTED}) {
            SCOPED_TRACE(code);
            presented.clear();
            ASSERT_TRUE(com->Connected());
            PullOut(code);
            form.RunUntil([&] { return !presented.empty(); }, std::chrono::seconds(5));
            ASSERT_EQ(presented.size(), 1u) << "the removal was not said once";
            EXPECT_EQ(presented[0], said);
            EXPECT_EQ(form.PortRemoval(), said);
            EXPECT_EQ(form.Failure().cause, "adapter_removed");
            try {
                form.Button3Click();
                ADD_FAILURE() << "a start on a removed adapter";
            } catch (const EComPort& e) {
                EXPECT_EQ(e.Message(), said);
            }
            pulledOut = 0;  // plugged in again
            ASSERT_NO_THROW(form.ChoosePort(TestPort()));
            EXPECT_TRUE(com->Connected());
            EXPECT_TRUE(form.PortRemoval().empty());
        }
        const auto entries = report::ReadJournal((folder / "journal.csv").string());
        ASSERT_EQ(entries.size(), 5u);
        for (const auto& e : entries) {
            EXPECT_EQ(e.Field("event"), "adapter removed");
            EXPECT_EQ(e.Field("port"), TestPort());
        }
        form.EndLine();  // before the engine goes
    }
    window::SetErrorPresenter(previousPresenter);
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(folder);
}
