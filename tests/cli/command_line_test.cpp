// The companion as a Unix tool: its version, GNU-style options, standard
// input, one-line usage errors, stopping signals, and where it finds the
// fault help lines.
#include <gtest/gtest.h>

#include "trace/line_trace.h"
#include "cli_process.h"

namespace {

using namespace cli_test;

const std::string kTry = "Try 'pumpdiag-cli --help' for more information.\n";

TEST(CommandLine, FollowsTheConventionsOfUnixTools) {
    TempDir dir;
    std::ofstream(dir / "-trace") << "{\"t_us\":0,\"dir\":\"received\",\"byte\":\"12\"}\n";
    const int traceOnStdin = ::open((dir / "-trace").c_str(), O_RDONLY);
    ASSERT_GE(traceOnStdin, 0);
    const struct {
        std::vector<std::string> args;
        int stdinFd;
        int code;
        std::string out;  // found in the output
        std::string err;  // the whole error output
    } rows[] = {
        {{PUMPDIAG_CLI, "--version"}, -1, 0, "pumpdiag-cli " PUMPDIAG_VERSION "\n", ""},
        {{PUMPSIM_TOOL, "--version"}, -1, 0, "pumpsim-tool " PUMPDIAG_VERSION "\n", ""},
        {{PUMPDIAG_CLI, "check-adapter", "--port=SIM", "--count=5"}, -1, 0, "Sent 5 single bytes", ""},
        {{PUMPDIAG_CLI, "trace-summary", "--", "-trace"}, -1, 0, "the pump sent 12 but not 55 8C 51\n", ""},
        {{PUMPDIAG_CLI, "trace-summary", "-"}, traceOnStdin, 0, "the pump sent 12 but not 55 8C 51\n", ""},
        {{PUMPDIAG_CLI, "diagnose", "--port"}, -1, 2, "", "pumpdiag-cli: option --port needs a value\n" + kTry},
        {{PUMPDIAG_CLI, "diagnose", "--port=SIM", "--json=yes"}, -1, 2, "",
         "pumpdiag-cli: option --json takes no value\n" + kTry},
        {{PUMPDIAG_CLI, "frobnicate"}, -1, 2, "", "pumpdiag-cli: unknown command frobnicate\n" + kTry},
    };
    for (const auto& row : rows) {
        const Result r = RunProgram(row.args, dir.Path(), row.stdinFd);
        const std::string what = row.args[1] + " " + (row.args.size() > 2 ? row.args[2] : "");
        EXPECT_EQ(r.code, row.code) << what << "\n" << r.err;
        EXPECT_NE(r.out.find(row.out), std::string::npos) << what << "\n" << r.out;
        EXPECT_EQ(r.err, row.err) << what;
    }
    ::close(traceOnStdin);
}

TEST(Diagnose, AStoppingSignalEndsItWithTheTraceComplete) {
    for (const int signal : {SIGINT, SIGTERM}) {
        TempDir dir;
        // Asked to confirm on a terminal that never answers, it waits for minutes.
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
        const int terminal = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
        ASSERT_GE(terminal, 0);
        const Result r = Cli({"diagnose", "--port", "SIM", "--clear-faults", "--trace", dir / "t"}, "", terminal,
                             [&](pid_t pid) {
                                 std::this_thread::sleep_for(4s);
                                 ::kill(pid, signal);
                             });
        ::close(terminal);
        ::close(master);
        EXPECT_EQ(r.code, 128 + signal) << r.err;
        EXPECT_NE(r.err.find("stopped by signal " + std::to_string(signal)), std::string::npos) << r.err;
        std::vector<cli::LineRecord> trace;
        ASSERT_NO_THROW(trace = cli::ReadTraceFile(dir / "t"));
        ASSERT_GT(trace.size(), 100u);
        EXPECT_EQ(trace.back().dir, cli::LineDir::End);
    }
}

TEST(Diagnose, HelpLinesComeFromTheWorkingThenTheUsersThenThePackagesFolder) {
    // An installed companion: the package's data lie in ../share/pumpdiag.
    TempDir dir;
    fs::create_directories(dir / "bin");
    fs::copy_file(PUMPDIAG_CLI, dir / "bin/pumpdiag-cli");
    const auto helpFile = [](const fs::path& folder, const std::string& line) {
        fs::create_directories(folder);
        std::ofstream(folder / "53.txt") << "\r\n  " << line << "\r\nmore\r\n";
    };
    helpFile(dir / "share/pumpdiag", "from the package");
    const fs::path work = dir / "work", dataHome = dir / "data", home = dir / "home";
    fs::create_directories(work);
    const struct {
        const char* folder;  // where the file that wins lies, beside those of the rows below
        bool xdgDataHome;
        const char* help;
    } rows[] = {
        {"home/.local/share/pumpdiag", false, "from the home folder"},
        {"data/pumpdiag", true, "from the user's data folder"},
        {"work", true, "from the working folder"},
    };
    const std::string userHome = std::getenv("HOME") ? std::getenv("HOME") : "/root";
    for (const auto& row : rows) {
        helpFile(dir / row.folder, row.help);
        ::setenv("HOME", home.c_str(), 1);
        if (row.xdgDataHome) ::setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
        else ::unsetenv("XDG_DATA_HOME");
        const Result r = RunProgram({dir / "bin/pumpdiag-cli", "diagnose", "--port", "SIM", "--read-faults", "--json"},
                                    work);
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_NE(r.out.find(std::string("\"help\":\"") + row.help + "\""), std::string::npos) << r.out;
    }
    ::unsetenv("XDG_DATA_HOME");
    ::setenv("HOME", userHome.c_str(), 1);
    // Only the package's files left: its English ones for a user whose language is not Russian.
    fs::remove_all(work / "53.txt");
    fs::remove_all(dataHome);
    fs::remove_all(home);
    helpFile(dir / "share/pumpdiag/en", "from the package in English");
    const char* saved[3] = {std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG")};
    const std::string savedText[3] = {saved[0] ? saved[0] : "", saved[1] ? saved[1] : "", saved[2] ? saved[2] : ""};
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_MESSAGES");
    for (const auto& [lang, help] : {std::pair{"ru_RU.UTF-8", "from the package"}, {"C", "from the package in English"}}) {
        ::setenv("LANG", lang, 1);
        const Result r =
            RunProgram({dir / "bin/pumpdiag-cli", "diagnose", "--port", "SIM", "--read-faults", "--json"}, work);
        EXPECT_NE(r.out.find(std::string("\"help\":\"") + help + "\""), std::string::npos) << lang << r.out;
    }
    const char* names[3] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    for (int i = 0; i < 3; ++i) {
        if (saved[i]) ::setenv(names[i], savedText[i].c_str(), 1);
        else ::unsetenv(names[i]);
    }
}

}  // namespace
