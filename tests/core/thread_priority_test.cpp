#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
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

// A private message bus with the stand-in broker on it, reachable by any user.
class BrokerBus {
public:
    explicit BrokerBus(bool refuse) {
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
        std::system(("/usr/bin/python3 " PD_FAKE_RT_BROKER " '" + address_ + "' " + (refuse ? "--refuse" : "") +
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

// Each way to the priority, and the quiet fallback, as a user would meet it;
// every thread raised is back at normal scheduling when it lowers itself.
TEST(ThreadPriority, GrantedDirectlyThroughTheBrokerOrNotAtAll) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as an ordinary user";
    if (Output("command -v dbus-daemon").empty()) GTEST_SKIP() << "dbus-daemon is not installed";
    const std::string asUser = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    const std::string noBus = "DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent ";
    BrokerBus broker(false), refusing(true);
    ASSERT_TRUE(broker.Ready() && refusing.Ready());
    const std::string viaBroker = "env DBUS_SYSTEM_BUS_ADDRESS=" + broker.Address() + " " + asUser;
    struct Row {
        std::string how, prefix, arguments, expected;
    } rows[] = {
        {"root raises itself", "env " + noBus, "", "grant=1 realtime=1 priority=10 rttime=-1/-1 normal=1"},
        {"no right, no broker", "env " + noBus + asUser, "", "grant=0 realtime=0 priority=0 rttime=-1/-1 normal=1"},
        {"an rtprio limit", "prlimit --rtprio=5 env " + noBus + asUser, "",
         "grant=1 realtime=1 priority=5 rttime=-1/-1 normal=1"},
        {"broker grants its maximum", viaBroker, "", "grant=2 realtime=1 priority=5 rttime=100000/200000 normal=1"},
        {"broker refuses", "env DBUS_SYSTEM_BUS_ADDRESS=" + refusing.Address() + " " + asUser, "",
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
        BrokerBus broker(refuse);
        ASSERT_TRUE(broker.Ready());
        Output("env DBUS_SYSTEM_BUS_ADDRESS=" + broker.Address() +
               " setpriv --reuid=65534 --regid=65534 --clear-groups " PD_RT_PROBE " thrice");
        std::istringstream lines(broker.Calls());
        std::map<std::string, int> calls;
        std::set<std::string> connections;
        for (std::string word, method, sender; lines >> word;) {
            if (word != "call" || !(lines >> method >> sender)) continue;
            ++calls[method];
            connections.insert(sender);
        }
        EXPECT_EQ(calls["Get"], 2) << "refuse=" << refuse;
        EXPECT_EQ(calls["MakeThreadRealtime"], refuse ? 1 : 3) << "refuse=" << refuse;
        EXPECT_EQ(connections.size(), 1u) << "refuse=" << refuse;
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
                                    " setpriv --reuid=65534 --regid=65534 --clear-groups " PD_RT_PROBE " timing"));
    double first = -1, second = -1, portThread = -1;
    std::string normal;
    times >> first >> second >> portThread >> normal;
    EXPECT_TRUE(first >= 0 && first < 50) << "the start button's raise took " << first << " ms";
    EXPECT_TRUE(second >= 0 && second < 10) << "a later raise took " << second << " ms";
    EXPECT_TRUE(portThread >= 0 && portThread < 50) << "the port thread's raise took " << portThread << " ms";
    EXPECT_EQ(normal, "normal=1");
    ::close(listener);
    fs::remove_all(dir);
}
