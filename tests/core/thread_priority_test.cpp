#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/realtime/thread_priority.h"

namespace {

namespace fs = std::filesystem;

std::string Output(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buf[256];
        while (fgets(buf, sizeof buf, pipe)) out += buf;
        pclose(pipe);
    }
    return out;
}

std::string Slurp(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// False once the process has ended, even before anyone reaps it.
bool Running(int pid) {
    const std::string stat = Slurp("/proc/" + std::to_string(pid) + "/stat");
    const auto state = stat.rfind(") ");
    return state != std::string::npos && stat[state + 2] != 'Z';
}

// A private message bus with the stand-in broker on it, reachable by any user;
// `options` are the stand-in's (--refuse, --refuse-for MS, --stall-first).
class BrokerBus {
public:
    explicit BrokerBus(const std::string& options = "") {
        std::string pattern = (fs::temp_directory_path() / "pd_bus_XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("no temporary folder");
        dir_ = pattern;
        fs::permissions(dir_, fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec |
                                  fs::perms::group_read | fs::perms::group_exec);
        address_ = "unix:path=" + (dir_ / "bus").string();
        std::ofstream(dir_ / "bus.conf") << "<busconfig><listen>" << address_ << "</listen>"
                                         << "<auth>EXTERNAL</auth><policy context=\"default\">"
                                         << "<allow user=\"*\"/><allow own=\"*\"/>"
                                         << "<allow send_destination=\"*\"/><allow receive_sender=\"*\"/>"
                                         << "</policy></busconfig>";
        const std::string d = dir_.string();
        std::system(("dbus-daemon --config-file=" + d + "/bus.conf --fork --print-pid=3 3>" + d + "/bus.pid").c_str());
        std::system(("/usr/bin/python3 " PD_FAKE_RT_BROKER " '" + address_ + "' " + options +
                     " >" + d + "/broker.out 2>&1 & echo $! >" + d + "/broker.pid")
                        .c_str());
        for (int i = 0; i < 200 && Slurp(dir_ / "broker.out").find("ready") == std::string::npos; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ~BrokerBus() {
        for (const char* pidFile : {"broker.pid", "bus.pid"}) {
            const int pid = std::atoi(Slurp(dir_ / pidFile).c_str());
            if (pid <= 0) continue;
            ::kill(pid, SIGTERM);
            // The bus removes its socket as it ends: let it, before the folder goes.
            for (int i = 0; i < 100 && Running(pid); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    bool Ready() const { return Slurp(dir_ / "broker.out").find("ready") != std::string::npos; }
    // "call <method> <caller's connection>", one line a call so far.
    std::string Calls() const { return Slurp(dir_ / "broker.out"); }
    const std::string& Address() const { return address_; }

private:
    fs::path dir_;
    std::string address_;
};

// The probe as a user with no right to real time of its own: nobody when
// the test runs as root, else the current user without its capabilities and
// its real-time priority limit.
std::string AsOrdinaryUser() {
    return geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups "
                          : "setpriv --inh-caps=-all --ambient-caps=-all prlimit --rtprio=0 ";
}

std::string ViaBroker(const BrokerBus& broker) {
    return "env DBUS_SYSTEM_BUS_ADDRESS=" + broker.Address() + " " + AsOrdinaryUser();
}

bool BrokerTestsCanRun() { return !Output("command -v dbus-daemon").empty(); }

// Whether this process, and so the stand-in broker it starts, may raise a
// thread: root, or a user given CAP_SYS_NICE or an rtprio limit. Where
// nothing may, a grant cannot be played and only refusals are tested.
bool CanRaiseThreads() {
    bool raised = false;
    std::thread([&] {
        const sched_param param{1};
        raised = sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &param) == 0;
        const sched_param normal{0};
        sched_setscheduler(0, SCHED_OTHER | SCHED_RESET_ON_FORK, &normal);
    }).join();
    return raised;
}

// One call to the stand-in: "call <method> <caller's connection> [what came of it]".
struct Call {
    std::string method, sender, outcome;
};

std::vector<Call> CallsTo(const BrokerBus& broker) {
    std::istringstream lines(broker.Calls());
    std::vector<Call> calls;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        Call call;
        std::string word;
        if (words >> word && word == "call" && words >> call.method >> call.sender) {
            words >> call.outcome;
            calls.push_back(call);
        }
    }
    return calls;
}

// The broker's calls by method, and the callers' connections.
std::pair<std::map<std::string, int>, std::set<std::string>> CallsOf(const BrokerBus& broker) {
    std::map<std::string, int> calls{{"Get", 0}, {"MakeThreadRealtime", 0}};
    std::set<std::string> connections;
    for (const Call& call : CallsTo(broker)) {
        ++calls[call.method];
        connections.insert(call.sender);
    }
    return {calls, connections};
}

// "key=value" of a probe's line.
std::string Field(const std::string& said, const std::string& key) {
    const auto at = said.find(key + "=");
    if (at == std::string::npos) return "";
    const auto from = at + key.size() + 1;
    return said.substr(from, said.find_first_of(" \n", from) - from);
}

}  // namespace

TEST(ThreadPriority, ScopedRaiseIsUndoneButAnEarlierOneKept) {
    if (!CanRaiseThreads()) GTEST_SKIP() << "needs the right to raise threads";
    std::thread([] {
        { core::ScopedRealTimePriority raised; EXPECT_TRUE(core::RunsAtRealTimePriority()); }
        EXPECT_FALSE(core::RunsAtRealTimePriority());
        ASSERT_EQ(core::RequestRealTimePriority(), core::PriorityGrant::Direct);
        { core::ScopedRealTimePriority again; }
        EXPECT_TRUE(core::RunsAtRealTimePriority());
    }).join();
    EXPECT_FALSE(core::RunsAtRealTimePriority()) << "only the asking thread is raised";
}

// A runaway thread at real time is lowered at the soft limit of its CPU
// time, and the process lives past the hard one, whatever SIGXCPU starts as
// (a shell's trap or a parent's mask can start the program with it ignored
// or blocked). A hard limit too small for the watchdog to act before it (the
// kernel looks at the limits only at its ticks) keeps the thread at normal
// priority instead. Raised directly as root, else through the stand-in.
TEST(ThreadPriority, RunawayThreadLoweredOrNeverRaised) {
    const bool root = geteuid() == 0;
    if (!root && !BrokerTestsCanRun()) GTEST_SKIP() << "dbus-daemon is not installed";
    const bool canGrant = CanRaiseThreads();
    std::unique_ptr<BrokerBus> broker;
    if (!root) {
        broker = std::make_unique<BrokerBus>();
        ASSERT_TRUE(broker->Ready());
    }
    const std::string command = (root ? "" : ViaBroker(*broker)) + PD_RT_PROBE " spin";
    const std::string raised = root ? "grant=1 why=none realtime=1 priority=10" : "grant=2 why=none realtime=1 priority=5";
    enum class Start { Default, Ignored, Blocked };
    const struct {
        Start start;
        rlim_t soft, hard;  // microseconds of real-time CPU
        std::string expected;
    } rows[] = {
        {Start::Default, 100000, 200000, raised + " rttime=100000/200000 spun normal=1"},
        {Start::Ignored, 100000, 200000, raised + " rttime=100000/200000 spun normal=1"},
        {Start::Blocked, 100000, 200000, raised + " rttime=100000/200000 spun normal=1"},
        {Start::Default, 6000, 12000, "grant=0 why=cpu-limit realtime=0 priority=0 rttime=6000/12000 spun normal=1"},
        {Start::Default, 4000, 8000, "grant=0 why=cpu-limit realtime=0 priority=0 rttime=4000/8000 spun normal=1"},
    };
    for (const auto& row : rows) {
        if (row.expected.rfind("grant=0", 0) != 0 && !canGrant) continue;
        const std::string name = std::to_string(row.hard) + (row.start == Start::Default   ? " default"
                                                             : row.start == Start::Ignored ? " ignored"
                                                                                           : " blocked");
        int out[2];
        ASSERT_EQ(::pipe(out), 0);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {  // only calls safe after a fork in a process with threads
            if (row.start == Start::Ignored) ::signal(SIGXCPU, SIG_IGN);
            sigset_t cpuLimit;
            sigemptyset(&cpuLimit);
            sigaddset(&cpuLimit, SIGXCPU);
            if (row.start == Start::Blocked) ::sigprocmask(SIG_BLOCK, &cpuLimit, nullptr);
            const rlimit rttime{row.soft, row.hard};
            ::setrlimit(RLIMIT_RTTIME, &rttime);
            ::dup2(out[1], 1);
            ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(out[1]);
        std::string said;
        char buffer[256];
        for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) said.append(buffer, static_cast<std::size_t>(n));
        ::close(out[0]);
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << name << ": ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
        EXPECT_EQ(said, row.expected + "\n") << name;
    }
}

// Each way to the priority, and the quiet fallback, as a user would meet it;
// every thread raised is back at normal scheduling when it lowers itself.
TEST(ThreadPriority, GrantedDirectlyThroughTheBrokerOrNotAtAll) {
    if (!BrokerTestsCanRun()) GTEST_SKIP() << "dbus-daemon is not installed";
    const std::string noBus = "DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent ";
    BrokerBus broker, refusing("--refuse");
    ASSERT_TRUE(broker.Ready() && refusing.Ready());
    const struct Row {
        std::string how, prefix, arguments, expected;
        bool asRoot;  // the row needs root's rights
    } rows[] = {
        {"root raises itself", "env " + noBus, "", "grant=1 why=none realtime=1 priority=10 rttime=-1/-1 normal=1", true},
        {"no right, no broker", "env " + noBus + AsOrdinaryUser(), "",
         "grant=0 why=no-service realtime=0 priority=0 rttime=-1/-1 normal=1", false},
        {"an rtprio limit", "prlimit --rtprio=5 env " + noBus + "setpriv --reuid=65534 --regid=65534 --clear-groups ", "",
         "grant=1 why=none realtime=1 priority=5 rttime=-1/-1 normal=1", true},
        {"broker grants its maximum", ViaBroker(broker), "",
         "grant=2 why=none realtime=1 priority=5 rttime=100000/200000 normal=1", false},
        // The kill timer stays armed: the refusal is asked again over the broker's window.
        {"broker refuses", ViaBroker(refusing), "",
         "grant=0 why=refused realtime=0 priority=0 rttime=100000/200000 normal=1", false},
        {"a scope through the broker", ViaBroker(broker), " scoped", "raised=1 normal=1", false},
    };
    // Raising a hard limit takes CAP_SYS_RESOURCE, which a container may lack.
    const bool rtprioSettable = Output("prlimit --rtprio=5 true 2>&1").empty();
    const bool canGrant = CanRaiseThreads();
    for (const Row& row : rows) {
        if (row.asRoot && (geteuid() != 0 || (row.prefix.rfind("prlimit", 0) == 0 && !rtprioSettable))) continue;
        if (row.expected.find("raised=1") != std::string::npos || row.expected.rfind("grant=2", 0) == 0)
            if (!canGrant) continue;
        EXPECT_EQ(Output(row.prefix + PD_RT_PROBE + row.arguments), row.expected + "\n") << row.how;
    }
}

// Three threads of one process raised one after the other: the broker's
// limits are read once over one connection, then one request a thread; after
// a denial the others wait for its next asking rather than ask themselves.
TEST(ThreadPriority, BrokerAskedOverOneConnectionAndItsAnswerKept) {
    if (!BrokerTestsCanRun()) GTEST_SKIP() << "dbus-daemon is not installed";
    for (const bool refuse : {false, true}) {
        BrokerBus broker(refuse ? "--refuse" : "");
        ASSERT_TRUE(broker.Ready());
        Output(ViaBroker(broker) + PD_RT_PROBE " thrice");
        const auto [calls, connections] = CallsOf(broker);
        EXPECT_EQ(calls.at("Get"), 2) << "refuse=" << refuse;
        EXPECT_EQ(calls.at("MakeThreadRealtime"), refuse ? 1 : 3) << "refuse=" << refuse;
        EXPECT_EQ(connections.size(), 1u) << "refuse=" << refuse;
    }
}

// The user's burst of requests is spent by another process: a line thread
// started then is refused, says so, and is raised once the broker's window
// has passed without asking again itself, with a few requests at most; it
// is back at normal scheduling when it ends.
TEST(ThreadPriority, LineThreadRaisedOnceTheBurstWindowHasPassed) {
    if (!BrokerTestsCanRun()) GTEST_SKIP() << "dbus-daemon is not installed";
    if (!CanRaiseThreads()) GTEST_SKIP() << "nothing here may raise a thread: no grant can be played";
    BrokerBus broker("--burst 2 --window 5000");
    ASSERT_TRUE(broker.Ready());
    Output(ViaBroker(broker) + PD_RT_PROBE " thrice");
    const std::size_t before = CallsTo(broker).size();
    EXPECT_EQ(Output(ViaBroker(broker) + PD_RT_PROBE " line 5000 30000"), "first=0 why=refused raised=1 normal=1\n");
    const std::vector<Call> calls = CallsTo(broker);
    std::vector<std::string> requests;
    for (std::size_t i = before; i < calls.size(); ++i)
        if (calls[i].method == "MakeThreadRealtime") requests.push_back(calls[i].outcome);
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.front(), "busy");
    EXPECT_EQ(requests.back(), "granted");
    EXPECT_LE(requests.size(), 5u) << "asked again four times over the window at most";
}

// A bus stalled when the line threads start, or a broker that refuses
// through its window and the four asks over it: a line thread at normal
// priority is asked for again at a start once the hold has passed (starts
// within it reach no broker), raised over a new connection, and no start
// waits for it. The record of the line starts over at each start.
TEST(ThreadPriority, LineThreadAskedAgainAtTheNextStart) {
    if (!BrokerTestsCanRun()) GTEST_SKIP() << "dbus-daemon is not installed";
    if (!CanRaiseThreads()) GTEST_SKIP() << "nothing here may raise a thread: no grant can be played";
    const struct {
        const char* broker;
        const char* windowMs;  // the broker's window as the probe takes it
        int gets, requests;
        double raisedAfterMs;  // at the earliest
    } rows[] = {
        // The first read of the limits is never answered: given up after its
        // two seconds, the bus is held for one more.
        {"--stall-first", "1000", 3, 1, 2900},
        // Refused at once and at the four asks over the window (2 s), then
        // held for a window: both connections read the limits.
        {"--refuse-for 3000", "2000", 4, 6, 3900},
    };
    for (const auto& row : rows) {
        BrokerBus broker(row.broker);
        ASSERT_TRUE(broker.Ready());
        const std::string said = Output(ViaBroker(broker) + PD_RT_PROBE " restart " + row.windowMs);
        EXPECT_EQ(Field(said, "raised"), "1") << row.broker << ": " << said;
        EXPECT_NE(Field(said, "starts"), "1") << row.broker << ": " << said;
        // The stalled step's two seconds are the worker's, not a start's.
        EXPECT_LT(std::atof(Field(said, "longest").c_str()), 1000) << row.broker << ": " << said;
        EXPECT_GE(std::atof(Field(said, "after").c_str()), row.raisedAfterMs)
            << row.broker << ": " << said << ": a start within the hold reached the broker";
        EXPECT_EQ(Field(said, "why"), "none") << row.broker << ": " << said;
        const auto [calls, connections] = CallsOf(broker);
        EXPECT_EQ(calls.at("Get"), row.gets) << row.broker;
        EXPECT_EQ(calls.at("MakeThreadRealtime"), row.requests) << row.broker;
        EXPECT_EQ(connections.size(), 2u) << row.broker;
    }
}

// A bus that takes the connection and never answers: each raise gives up
// within its patience, once, and the threads go on at normal priority.
TEST(ThreadPriority, StalledBusCostsAFewMillisecondsOnce) {
    std::string dir = (fs::temp_directory_path() / "pd_stall_XXXXXX").string();
    ASSERT_TRUE(::mkdtemp(dir.data()));
    fs::permissions(dir, fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
    const std::string path = dir + "/bus";
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 16), 0);
    fs::permissions(path, fs::perms::all);

    std::istringstream times(Output("env DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + path + " " + AsOrdinaryUser() +
                                    PD_RT_PROBE " timing"));
    double first = -1, portThread = -1;
    long secondWaits = -1;
    std::string normal;
    times >> first >> portThread >> secondWaits >> normal;
    // Far below the worker's two-second step, whatever else the machine runs.
    EXPECT_TRUE(first >= 0 && first < 1000) << "the start button's raise took " << first << " ms";
    EXPECT_TRUE(portThread >= 0 && portThread < 1000) << "the port thread's raise took " << portThread << " ms";
    EXPECT_EQ(secondWaits, 0) << "a later raise waits for nothing";
    EXPECT_EQ(normal, "normal=1");
    ::close(listener);
    fs::remove_all(dir);
}
