// Test support: the companion and the simulator tool run as a user runs
// them, each a process of its own.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace cli_test {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

struct Result {
    int code = -1;
    std::string out, err;
    std::chrono::steady_clock::duration took{};
    long peakRssKb = 0;
};

inline std::string Slurp(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class TempDir {
public:
    TempDir() {
        char name[] = "/tmp/pumpdiag-cli-test-XXXXXX";
        path_ = ::mkdtemp(name);
    }
    ~TempDir() { fs::remove_all(path_); }
    fs::path operator/(const std::string& name) const { return path_ / name; }
    const fs::path& Path() const { return path_; }

private:
    fs::path path_;
};

// Runs a program to its end; stdin is /dev/null unless `stdinFd` is given.
// `whileRunning` is called with the program's process id once it started.
inline Result RunProgram(const std::vector<std::string>& args, const std::string& cwd = "", int stdinFd = -1,
                         const std::function<void(pid_t)>& whileRunning = {}) {
    TempDir dir;
    const std::string out = dir / "out", err = dir / "err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdinFd >= 0) posix_spawn_file_actions_adddup2(&actions, stdinFd, 0);
    else posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    Result r;
    pid_t pid;
    const auto start = std::chrono::steady_clock::now();
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        if (whileRunning) whileRunning(pid);
        // A companion that hangs fails its test instead of holding the suite up.
        int status = 0;
        rusage usage{};
        while (::wait4(pid, &status, WNOHANG, &usage) == 0) {
            if (std::chrono::steady_clock::now() - start > 60s) {
                ::kill(pid, SIGKILL);
                ::wait4(pid, &status, 0, &usage);
                break;
            }
            std::this_thread::sleep_for(10ms);
        }
        r.took = std::chrono::steady_clock::now() - start;
        r.peakRssKb = usage.ru_maxrss;
        r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    r.out = Slurp(out);
    r.err = Slurp(err);
    return r;
}

inline Result Cli(std::vector<std::string> args, const std::string& cwd = "", int stdinFd = -1,
                  const std::function<void(pid_t)>& whileRunning = {}) {
    args.insert(args.begin(), PUMPDIAG_CLI);
    return RunProgram(args, cwd, stdinFd, whileRunning);
}

// pumpsim-tool serving on a pseudo-terminal reached through a link of its own.
class PumpTool {
public:
    explicit PumpTool(std::vector<std::string> options) : link_(dir_ / "pump") {
        options.insert(options.begin(), {PUMPSIM_TOOL, "--pty", "--link", link_.string()});
        std::vector<char*> argv;
        for (auto& a : options) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&pid_, PUMPSIM_TOOL, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        for (int i = 0; i < 1000 && pid_ > 0 && !fs::exists(link_); ++i) std::this_thread::sleep_for(10ms);
    }
    ~PumpTool() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        int status;
        ::waitpid(pid_, &status, 0);
    }
    // The terminal itself: the link goes when the tool ends.
    std::string Port() const { return fs::read_symlink(link_).string(); }

private:
    TempDir dir_;
    fs::path link_;
    pid_t pid_ = -1;
};

}  // namespace cli_test
