// pumpsim-tool serving the simulated unit on a new pseudo-terminal, in a
// process of its own that ends with this object.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

extern char** environ;

namespace testing_support {

class PtyTool {
public:
    // `quiet` sends the tool's own words on standard error to /dev/null.
    explicit PtyTool(const std::string& tool, bool quiet = false) {
        int out[2];
        if (::pipe(out) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        if (quiet) posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        char* argv[] = {const_cast<char*>(tool.c_str()), const_cast<char*>("--pty"), nullptr};
        if (posix_spawn(&pid_, tool.c_str(), &actions, nullptr, argv, environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        // The tool prints the terminal's path as its first line.
        if (FILE* f = ::fdopen(out[0], "r")) {
            char line[256] = {};
            if (pid_ > 0 && std::fgets(line, sizeof line, f)) path_ = line;
            std::fclose(f);
        } else {
            ::close(out[0]);
        }
        while (!path_.empty() && (path_.back() == '\n' || path_.back() == '\r')) path_.pop_back();
    }
    ~PtyTool() { Stop(); }
    PtyTool(const PtyTool&) = delete;
    PtyTool& operator=(const PtyTool&) = delete;

    void Stop() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        int status;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
    }
    const std::string& Path() const { return path_; }

private:
    pid_t pid_ = -1;
    std::string path_;
};

}  // namespace testing_support
