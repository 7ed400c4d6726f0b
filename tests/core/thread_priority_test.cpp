#include <gtest/gtest.h>
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
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

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

const std::string kAsUser = "setpriv --reuid=65534 --regid=65534 --clear-groups ";

// The broker's calls by method, and the callers' connections.
std::pair<std::map<std::string, int>, std::set<std::string>> CallsOf(const BrokerBus& broker) {
    std::istringstream lines(broker.Calls());
    std::map<std::string, int> calls{{"Get", 0}, {"MakeThreadRealtime", 0}};
    std::set<std::string> connections;
    for (std::string word, method, sender; lines >> word;) {
        if (word != "call" || !(lines >> method >> sender)) continue;
        ++calls[method];
        connections.insert(sender);
    }
    return {calls, connections};
}

}  // namespace

TEST(ThreadPriority, ScopedRaiseIsUndoneButAnEarlierOneKept) {
    if (geteuid() != 0) GTEST_SKIP() << "needs the right to raise threads";
    std::thread([] {
        { core::ScopedRealTimePriority raised; EXPECT_TRUE(core::RunsAtRealTimePriority()); }
        EXPECT_FALSE(core::RunsAtRealTimePriority());
        ASSERT_EQ(core::RequestRealTimePriority(), core::PriorityGrant::Direct);
        { core::ScopedRealTimePriority again; }
        EXPECT_TRUE(core::RunsAtRealTimePriority());
    }).join();
    EXPECT_FALSE(core::RunsAtRealTimePriority()) << "only the asking thread is raised";
}

// A shell's trap or a parent's mask can start the program with SIGXCPU
// ignored or blocked: a thread that runs away at real time is still lowered
// at the soft limit of its CPU time, and the process lives past the hard one.
TEST(ThreadPriority, RunawayThreadLoweredWhateverSigxcpuStartsAs) {
    if (geteuid() != 0) GTEST_SKIP() << "needs the right to raise threads";
    enum class Start { Default, Ignored, Blocked };
    for (const Start start : {Start::Default, Start::Ignored, Start::Blocked}) {
        const std::string name = start == Start::Default ? "default" : start == Start::Ignored ? "ignored" : "blocked";
        int out[2];
        ASSERT_EQ(::pipe(out), 0);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {  // only calls safe after a fork in a process with threads
            if (start == Start::Ignored) ::signal(SIGXCPU, SIG_IGN);
            sigset_t cpuLimit;
            sigemptyset(&cpuLimit);
            sigaddset(&cpuLimit, SIGXCPU);
            if (start == Start::Blocked) ::sigprocmask(SIG_BLOCK, &cpuLimit, nullptr);
            const rlimit rttime{100000, 200000};  // microseconds of real-time CPU, soft and hard
            ::setrlimit(RLIMIT_RTTIME, &rttime);
            ::dup2(out[1], 1);
            ::execl(PD_RT_PROBE, PD_RT_PROBE, "spin", static_cast<char*>(nullptr));
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
        EXPECT_EQ(said, "grant=1 realtime=1 priority=10 rttime=100000/200000 spun normal=1\n") << name;
    }
}

// Each way to the priority, and the quiet fallback, as a user would meet it;
// every thread raised is back at normal scheduling when it lowers itself.
TEST(ThreadPriority, GrantedDirectlyThroughTheBrokerOrNotAtAll) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as an ordinary user";
    if (Output("command -v dbus-daemon").empty()) GTEST_SKIP() << "dbus-daemon is not installed";
    const std::string noBus = "DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent ";
    BrokerBus broker, refusing("--refuse");
    ASSERT_TRUE(broker.Ready() && refusing.Ready());
    const std::string viaBroker = "env DBUS_SYSTEM_BUS_ADDRESS=" + broker.Address() + " " + kAsUser;
    struct Row {
        std::string how, prefix, arguments, expected;
    } rows[] = {
        {"root raises itself", "env " + noBus, "", "grant=1 realtime=1 priority=10 rttime=-1/-1 normal=1"},
        {"no right, no broker", "env " + noBus + kAsUser, "", "grant=0 realtime=0 priority=0 rttime=-1/-1 normal=1"},
        {"an rtprio limit", "prlimit --rtprio=5 env " + noBus + kAsUser, "",
         "grant=1 realtime=1 priority=5 rttime=-1/-1 normal=1"},
        {"broker grants its maximum", viaBroker, "", "grant=2 realtime=1 priority=5 rttime=100000/200000 normal=1"},
        {"broker refuses", "env DBUS_SYSTEM_BUS_ADDRESS=" + refusing.Address() + " " + kAsUser, "",
         "grant=0 realtime=0 priority=0 rttime=200000/200000 normal=1"},
        {"a scope through the broker", viaBroker, " scoped", "raised=1 normal=1"},
        {"a granted thread spins", viaBroker, " spin",
         "grant=2 realtime=1 priority=5 rttime=100000/200000 spun normal=1"},
    };
    // Raising a hard limit takes CAP_SYS_RESOURCE, which a container may lack.
    const bool rtprioSettable = Output("prlimit --rtprio=5 true 2>&1").empty();
    for (const Row& row : rows) {
        if (row.prefix.rfind("prlimit", 0) == 0 && !rtprioSettable) continue;
        EXPECT_EQ(Output(row.prefix + PD_RT_PROBE + row.arguments), row.expected + "\n") << row.how;
    }
}

// Three threads of one process raised one after the other: the broker's
// limits are read once over one connection, then one request a thread; after
// a denial the process asks no more.
TEST(ThreadPriority, BrokerAskedOverOneConnectionAndItsAnswerKept) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as an ordinary user";
    if (Output("command -v dbus-daemon").empty()) GTEST_SKIP() << "dbus-daemon is not installed";
    for (const bool refuse : {false, true}) {
        BrokerBus broker(refuse ? "--refuse" : "");
        ASSERT_TRUE(broker.Ready());
        Output("env DBUS_SYSTEM_BUS_ADDRESS=" + broker.Address() + " " + kAsUser + PD_RT_PROBE " thrice");
        const auto [calls, connections] = CallsOf(broker);
        EXPECT_EQ(calls.at("Get"), 2) << "refuse=" << refuse;
        EXPECT_EQ(calls.at("MakeThreadRealtime"), refuse ? 1 : 3) << "refuse=" << refuse;
        EXPECT_EQ(connections.size(), 1u) << "refuse=" << refuse;
    }
}

// A refusal (the user's burst of requests spent) and a stalled question hold
// for the broker's window only: a thread that keeps asking, as a window does
// at each start, is raised over a new connection once the window has passed.
// No ask within the window reaches the broker, none holds the thread up.
TEST(ThreadPriority, BrokerAskedAgainOnceItsWindowHasPassed) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as an ordinary user";
    if (Output("command -v dbus-daemon").empty()) GTEST_SKIP() << "dbus-daemon is not installed";
    const struct {
        const char* broker;
        int gets, requests;
    } rows[] = {
        {"--refuse-for 1000", 4, 2},  // both connections read the limits
        {"--stall-first", 3, 1},   // the first read of the limits is never answered
    };
    for (const auto& row : rows) {
        BrokerBus broker(row.broker);
        ASSERT_TRUE(broker.Ready());
        std::istringstream out(Output("env DBUS_SYSTEM_BUS_ADDRESS=" + broker.Address() + " " + kAsUser +
                                      PD_RT_PROBE " retry 1000"));
        std::string raised, asks;
        double longestMs = -1;
        std::getline(out, raised, ' ');
        std::getline(out, asks, ' ');
        out.ignore(8, '=');
        out >> longestMs;
        EXPECT_EQ(raised, "raised=1") << row.broker;
        EXPECT_NE(asks, "asks=1") << row.broker << ": the first ask is not granted";
        // The stalled step's two seconds are the worker's, not the thread's.
        EXPECT_TRUE(longestMs >= 0 && longestMs < 1000) << row.broker << ": an ask took " << longestMs << " ms";
        const auto [calls, connections] = CallsOf(broker);
        EXPECT_EQ(calls.at("Get"), row.gets) << row.broker;
        EXPECT_EQ(calls.at("MakeThreadRealtime"), row.requests) << row.broker;
        EXPECT_EQ(connections.size(), 2u) << row.broker;
    }
}

// A bus that takes the connection and never answers: each raise gives up
// within its patience, once, and the threads go on at normal priority.
TEST(ThreadPriority, StalledBusCostsAFewMillisecondsOnce) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as an ordinary user";
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

    std::istringstream times(Output("env DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + path +
                                    " " + kAsUser + PD_RT_PROBE " timing"));
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
