// The command-line tool: its options, the marked serial input, and the real
// program serving on a pseudo-terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "core/platform/exception.h"
#include "core/realtime/thread_priority.h"
#include "pumpsim/tools/serve.h"
#include "pumpsim/tools/tool_options.h"

extern char** environ;

namespace pumpsim::tool {
namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

TEST(ToolOptions, ParsesServingModeFaultsAndInjections) {
    const ToolOptions o = ParseToolOptions({"--pty", "--link", "/tmp/x", "--faults", "53:2,5a:17,FF:255",
                                            "--lose-byte", "7", "--late-reply", "14:60", "--garbage-after",
                                            "3:7E", "--stop-after", "5"});
    EXPECT_TRUE(o.pty);
    EXPECT_EQ(o.link, "/tmp/x");
    EXPECT_TRUE(o.Echo());
    ASSERT_EQ(o.config.faults.size(), 3u);
    EXPECT_EQ(o.config.faults[1].code, 0x5A);
    EXPECT_EQ(o.config.faults[1].counter, 17);
    EXPECT_EQ(o.config.faults[2].counter, 255);
    EXPECT_EQ(o.config.loseByteIndex, 7);
    EXPECT_EQ(o.config.lateReplyIndex, 14);
    EXPECT_EQ(o.config.lateReplyMs, 60.0);
    EXPECT_EQ(o.config.garbageAfterIndex, 3);
    EXPECT_EQ(o.config.garbageByte, 0x7E);
    EXPECT_EQ(o.config.stopAfterBlocks, 5);
    EXPECT_FALSE(o.stay);
    EXPECT_TRUE(ParseToolOptions({"--pty", "--stay"}).stay);

    const ToolOptions d = ParseToolOptions({"--device", "/dev/ttyS0", "--no-faults"});
    EXPECT_FALSE(d.Echo());  // a real adapter echoes by itself
    EXPECT_TRUE(d.config.faults.empty());
    EXPECT_TRUE(ParseToolOptions({"--device", "/dev/ttyS0", "--echo"}).Echo());
    EXPECT_TRUE(ParseToolOptions({"--device", "/dev/ttyS0", "--own-echo"}).ownEcho);
    EXPECT_FALSE(ParseToolOptions({"--pty", "--no-echo"}).Echo());
}

TEST(ToolOptions, RefusesBadInputWithAClearMessage) {
    const std::vector<std::vector<std::string>> bad = {
        {},                                   // no serving mode
        {"--pty", "--device", "/dev/ttyS0"},  // both
        {"--device", "/dev/ttyS0", "--link", "/tmp/x"},
        {"--pty", "--faults", "5G:2"},
        {"--pty", "--faults", "53:256"},
        {"--pty", "--faults", "53"},
        {"--pty", "--faults", "53:2,"},
        {"--pty", "--faults", "-1:2"},
        {"--pty", "--lose-byte", "x"},
        {"--pty", "--late-reply", "3"},
        {"--pty", "--stop-after"},
        {"--pty", "--baud", "9600"},
        {"--pty", "--own-echo"},
        {"--device", "/dev/ttyS0", "--stay"},  // a serial port is served until stopped anyway
    };
    for (const auto& args : bad) {
        std::string joined;
        for (const auto& a : args) joined += a + " ";
        try {
            ParseToolOptions(args);
            ADD_FAILURE() << "accepted: " << joined;
        } catch (const core::EConvertError& e) {
            EXPECT_FALSE(e.Message().empty()) << joined;
        }
    }
}

TEST(MarkedInput, SplitsBytesBreaksAndEscapesAcrossReads) {
    MarkedInputDecoder decoder;
    std::vector<MarkedInputDecoder::Event> events;
    const Bytes first = {0x41, 0xFF, 0xFF, 0xFF, 0x00};
    const Bytes second = {0x00, 0xFF, 0x00, 0x37, 0x42, 0xFF};
    const Bytes third = {0x00};
    decoder.Feed(first.data(), first.size(), events);
    decoder.Feed(second.data(), second.size(), events);
    decoder.Feed(third.data(), third.size(), events);
    const Bytes fourth = {0x00};
    decoder.Feed(fourth.data(), fourth.size(), events);
    using E = MarkedInputDecoder::Event;
    EXPECT_EQ(events, (std::vector<E>{{false, 0x41}, {false, 0xFF}, {true, 0}, {false, 0x37}, {false, 0x42},
                                      {true, 0}}));
}

// The real program as a child process, its stdout on a pipe.
class ToolProcess {
public:
    explicit ToolProcess(std::vector<std::string> args) {
        int out[2];
        if (pipe(out) != 0) throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        args.insert(args.begin(), PUMPSIM_TOOL);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        const int rc = posix_spawn(&pid_, PUMPSIM_TOOL, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        out_ = out[0];
        if (rc != 0) throw std::runtime_error("posix_spawn");
    }
    ~ToolProcess() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(out_);
    }

    std::string ReadLine(int withinMs = 3000) {
        std::string line;
        const auto start = Clock::now();
        while (Clock::now() - start < std::chrono::milliseconds(withinMs)) {
            pollfd p{out_, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            char c;
            if (read(out_, &c, 1) != 1) break;
            if (c == '\n') return line;
            line += c;
        }
        return line;
    }

    // The exit status, or nullopt if the program is still running after withinMs.
    std::optional<int> Wait(int withinMs) {
        const auto start = Clock::now();
        do {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        } while (Clock::now() - start < std::chrono::milliseconds(withinMs));
        return std::nullopt;
    }

    pid_t Pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    bool exited_ = false;
};

std::optional<std::uint8_t> ReadByte(int fd, int withinMs) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, withinMs) <= 0) return std::nullopt;
    std::uint8_t b;
    if (read(fd, &b, 1) != 1) return std::nullopt;
    return b;
}

std::string LinkPath(const char* name) {
    return (std::filesystem::temp_directory_path() / (std::string(name) + std::to_string(getpid()))).string();
}

// Opens the tool's terminal as a tester does (raw), sends the purge that comes
// with opening and the one that ends the wake-up pattern, and expects the
// three synchronisation bytes, each on its own. Returns the descriptor.
int OpenAndWake(const std::string& link) {
    const int fd = open(link.c_str(), O_RDWR | O_NOCTTY);
    EXPECT_GE(fd, 0);
    termios t{};
    EXPECT_EQ(tcgetattr(fd, &t), 0);
    // The port's set-up reaches the tool before its purge does: a change of
    // the flow control is reported on the terminal's other side.
    t.c_iflag |= IXON;
    EXPECT_EQ(tcsetattr(fd, TCSANOW, &t), 0);
    cfmakeraw(&t);
    EXPECT_EQ(tcsetattr(fd, TCSANOW, &t), 0);
    // The purges that come with opening the port do not wake the unit, even
    // when the opening took long (a busy computer) ...
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    tcflush(fd, TCIOFLUSH);
    tcflush(fd, TCIOFLUSH);
    EXPECT_FALSE(ReadByte(fd, 600).has_value());
    // ... the one after the wake-up pattern does.
    tcflush(fd, TCIOFLUSH);
    for (std::uint8_t expected : {0x55, 0x8C, 0x51}) {
        EXPECT_EQ(ReadByte(fd, 1000), expected);
        EXPECT_FALSE(ReadByte(fd, 2).has_value());
    }
    return fd;
}

TEST(ToolOnPty, WakesOnPurgeSynchronisesAndEndsWhenTheTesterCloses) {
    // This thread plays the tester's line thread: 8 ms apart, the sync bytes
    // are told apart only by a reader that is woken on time.
    core::ScopedRealTimePriority lineThread;
    const std::string link = LinkPath("pumpsim-link-");
    ToolProcess tool({"--pty", "--link", link, "--faults", "53:2"});
    const std::string slave = tool.ReadLine();
    ASSERT_FALSE(slave.empty());
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), slave);

    const int fd = OpenAndWake(link);
    const std::uint8_t key = 0xAE;
    ASSERT_EQ(write(fd, &key, 1), 1);
    EXPECT_EQ(ReadByte(fd, 500), 0xAE);  // the echo
    const auto length = ReadByte(fd, 500);
    EXPECT_EQ(length, PumpConfig::DefaultIdentData()[0].size() + 3);

    close(fd);
    EXPECT_EQ(tool.Wait(3000), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(link));
}

TEST(ToolOnPty, StaysForTheNextTesterWhenAsked) {
    core::ScopedRealTimePriority lineThread;
    const std::string link = LinkPath("pumpsim-stay-");
    ToolProcess tool({"--pty", "--link", link, "--stay"});
    ASSERT_FALSE(tool.ReadLine().empty());
    // The first tester leaves in the middle of the synchronisation; the next
    // one finds the unit asleep, and its own wake-up pattern wakes it.
    for (int tester = 0; tester < 2; ++tester) {
        SCOPED_TRACE(tester);
        close(OpenAndWake(link));
        EXPECT_FALSE(tool.Wait(300).has_value());
    }
    kill(tool.Pid(), SIGTERM);
    EXPECT_EQ(tool.Wait(3000), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(link));
}

TEST(ToolOnPty, StopsCleanlyOnSigterm) {
    const std::string link = LinkPath("pumpsim-term-");
    ToolProcess tool({"--pty", "--link", link});
    ASSERT_FALSE(tool.ReadLine().empty());
    EXPECT_FALSE(tool.Wait(100).has_value());  // still serving, no tester yet
    kill(tool.Pid(), SIGTERM);
    EXPECT_EQ(tool.Wait(3000), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(link));
}

TEST(ToolOnDevice, MissingPortIsReportedNotServed) {
    ToolProcess tool({"--device", "/nonexistent/ttyS9"});
    EXPECT_EQ(tool.Wait(3000), 1);
}

}  // namespace
}  // namespace pumpsim::tool
