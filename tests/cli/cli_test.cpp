// pumpdiag-cli run as a user runs it: a process of its own on the simulated
// pump (SIM) or on a pseudo-terminal served by pumpsim-tool with its faults.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <optional>

#include "cli/headless_window.h"
#include "cli/port_open.h"
#include "protocol/pump_protocol.h"
#include "report/journal.h"
#include "trace/exchange.h"
#include "trace/link_failure.h"
#include "trace/tracing_port.h"
#include "window/port_component.h"
#include "trace/json.h"
#include "trace/line_trace.h"
#include "cli_process.h"
#include "line_flood.h"
#include "port_session.h"
#include "port_test_support.h"

namespace {

using namespace cli_test;

TEST(CheckAdapter, VerdictFollowsTheAdaptersEchoAndLatency) {
    // A pseudo-terminal's bytes pass through a kernel worker at normal
    // priority: on a busy machine its echo may come late whatever the two
    // programs' priority, so there only the echo itself is checked.
    const struct {
        std::vector<std::string> tool;  // empty: the simulated line SIM
        int code;                       // -1: as the machine's load makes it
        const char* says;
    } rows[] = {
        {{}, 0, "echoes every byte and fits the engine's 10 ms reply window"},
        {{"--echo"}, -1, "100 single bytes without wake-up: 100 came back as echo"},
        {{"--no-echo"}, 3, "this adapter does not echo; it cannot be used"},
        {{"--latency", "15"}, 3, "too slow; it does not fit the engine's 10 ms reply window"},
    };
    for (const auto& row : rows) {
        std::optional<PumpTool> tool;
        if (!row.tool.empty()) tool.emplace(row.tool);
        const Result r = Cli({"check-adapter", "--port", tool ? tool->Port() : "SIM"});
        if (row.code >= 0) {
            EXPECT_EQ(r.code, row.code) << row.says << "\n" << r.out << r.err;
        }
        EXPECT_NE(r.out.find(row.says), std::string::npos) << r.out;
    }
}

TEST(CheckAdapter, EachReasonAPortCannotBeOpenedHasItsMessageAndCode) {
    const Result missing = Cli({"check-adapter", "--port", "ttyNoSuchAdapter"});
    EXPECT_EQ(missing.code, 10) << missing.err;
    EXPECT_NE(missing.err.find("(/dev/ttyNoSuchAdapter): no such device"), std::string::npos) << missing.err;
    {
        PumpTool tool({});
        // Held the way the diagnostic program holds it.
        auto holder = window::MakeComPort();
        holder->SetPort(tool.Port());
        holder->OpenPort();
        const Result busy = Cli({"check-adapter", "--port", tool.Port()});
        EXPECT_EQ(busy.code, 12) << busy.err;
        EXPECT_NE(busy.err.find("busy: another program holds it"), std::string::npos) << busy.err;
    }
    if (::geteuid() != 0) GTEST_SKIP() << "the permission case needs root to become another user";
    PumpTool tool({});
    const Result denied = RunProgram({"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", PUMPDIAG_CLI,
                                      "check-adapter", "--port", tool.Port()});
    EXPECT_EQ(denied.code, 11) << denied.err;
    EXPECT_NE(denied.err.find("permission denied"), std::string::npos) << denied.err;
    EXPECT_NE(denied.err.find("'dialout' group"), std::string::npos) << denied.err;
}

TEST(Diagnose, JsonShowsWhatTheWindowShowsForTheSamePump) {
    testing_support::PortSession window("SIM");
    window.Click(&protocol::PumpProtocol::Button3Click);
    ASSERT_TRUE(testing_support::WaitFor([&] { return window.model.Enabled(protocol::Control::Button4); }, 30s));
    window.Click(&protocol::PumpProtocol::Button4Click);
    ASSERT_TRUE(testing_support::WaitFor([&] { return !window.model.Hint(0x5A).empty(); }, 30s));
    using Shown = std::pair<std::map<protocol::IdentField, std::string>, std::map<int, std::string>>;
    const Shown shown = window.OnGui([&] { return Shown{window.model.fields, window.model.hints}; });

    const Result r = Cli({"diagnose", "--port", "SIM", "--read-faults", "--json"}, DATA_DIR);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "woken: wake-up pattern sent\nsynchronised\nidentified\nreading faults\n");
    using protocol::IdentField;
    const std::pair<const char*, IdentField> keys[] = {{"bosch_number", IdentField::BoschNumber},
                                                       {"id_number", IdentField::SerialNumber},
                                                       {"original_number", IdentField::OrName},
                                                       {"serial_number", IdentField::Id}};
    for (const auto& [key, field] : keys) {
        ASSERT_FALSE(shown.first.at(field).empty());
        EXPECT_NE(r.out.find(std::string("\"") + key + "\":" + cli::JsonString(shown.first.at(field))),
                  std::string::npos) << key << "\n" << r.out;
    }
    std::string faults;
    for (int code : {0x53, 0x5A}) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", code);
        const std::string hint = shown.second.at(code);
        faults += std::string(faults.empty() ? "" : ",") + "{\"code\":\"" + hex + "\",\"counter\":" +
                  hint.substr(hint.rfind(' ') + 1) + ",\"hint\":" + cli::JsonString(hint) +
                  ",\"help\":" + cli::JsonString("Код неисправности 0x" + std::string(hex)) + "}";
    }
    EXPECT_NE(r.out.find("\"no_faults\":false,\"faults\":[" + faults + "]"), std::string::npos) << r.out;
}

// The help text is the user's own file: whatever it holds, the output stays
// JSON that a strict reader takes, with the text as it was.
TEST(Diagnose, JsonHoldsAHelpTextWithQuotesBackslashesAndControlCharacters) {
    TempDir dir;
    const std::string help = "Check the \"valve\" and C:\\pump\\x01,\x01 then\x1f {\"end\"}";
    std::ofstream(dir / "53.txt") << help << "\r\n";
    const Result r = Cli({"diagnose", "--port", "SIM", "--read-faults", "--json"}, dir.Path());
    ASSERT_EQ(r.code, 0) << r.err;
    std::ofstream(dir / "out.json") << r.out;
    // Python's reader refuses what the standard refuses, raw control characters included.
    const Result parsed = RunProgram({"python3", "-c",
                                      "import json, sys\n"
                                      "faults = json.load(open(sys.argv[1], encoding='utf-8'))['faults']\n"
                                      "sys.stdout.write([f['help'] for f in faults if f['code'] == '53'][0])",
                                      dir / "out.json"});
    EXPECT_EQ(parsed.code, 0) << parsed.err << r.out;
    EXPECT_EQ(parsed.out, help) << r.out;
}

TEST(Diagnose, TraceReadBackGivesTheBlocksOnTheLine) {
    TempDir dir;
    const std::string trace = dir / "line.jsonl", svg = dir / "line.svg";
    ASSERT_EQ(Cli({"diagnose", "--port", "SIM", "--trace", trace}).code, 0);
    const cli::Exchange ex = cli::AnalyseTrace(cli::ReadTraceFile(trace));
    EXPECT_EQ(ex.missing, cli::MissingStep::None) << ex.verdict;
    EXPECT_TRUE(ex.derailments.empty()) << ex.derailments.front().text;
    const auto ident = pumpsim::PumpConfig::DefaultIdentData();
    ASSERT_GE(ex.blocks.size(), 8u);
    for (std::size_t i = 0; i < 8; i += 2) {
        const cli::Block& pump = ex.blocks[i];
        const cli::Block& tester = ex.blocks[i + 1];
        ASSERT_TRUE(pump.fromPump);
        const std::string data(pump.bytes.begin() + 3, pump.bytes.end() - 1);
        EXPECT_EQ(data, ident[i / 2]) << "pump block " << i;
        EXPECT_EQ(pump.bytes[1], i);
        EXPECT_EQ(tester.bytes, (std::vector<std::uint8_t>{0x03, static_cast<std::uint8_t>(i + 1), 0x09, 0x03}));
    }
    const Result summary = Cli({"trace-summary", trace, "--svg", svg});
    EXPECT_EQ(summary.code, 0);
    EXPECT_NE(summary.out.find("no derailment"), std::string::npos) << summary.out;
    EXPECT_EQ(Slurp(svg).rfind("<svg", 0), 0u);
}

// A line written as "ms:Xhh" tokens: S sent (its echo follows 1 ms later),
// s sent without echo, R received from the pump.
std::vector<cli::LineRecord> Line(const std::string& script) {
    std::vector<cli::LineRecord> records;
    std::istringstream in(script);
    std::string token;
    while (in >> token) {
        const auto colon = token.find(':');
        const auto us = static_cast<std::int64_t>(std::stod(token.substr(0, colon)) * 1000);
        const auto byte = static_cast<std::uint8_t>(std::stoul(token.substr(colon + 2), nullptr, 16));
        const char kind = token[colon + 1];
        records.push_back({us, kind == 'R' ? cli::LineDir::Received : cli::LineDir::Sent, byte});
        if (kind == 'S') records.push_back({us + 1000, cli::LineDir::Echo, byte});
    }
    return records;
}

TEST(TraceSummary, FindsTheDerailmentsTheEngineCannotSee) {
    const std::string sync = "0:R55 8:R8C 16:R51 17:SAE ";
    const std::string pumpBlock = "40:R03 41:SFC 43:R00 44:SFF 46:R09 47:SF6 97:R03 ";
    const struct {
        std::string line;
        const char* finds;
    } rows[] = {
        {"0:R12 5:R34", "no synchronisation: the pump sent 12 34 but not 55 8C 51"},
        {sync + pumpBlock + "98:S03 100:RFC 101:S01 103:RFE 104:S09 106:RF6 107:S03 112:R03",
         "byte 03 came 4.0 ms after the tester's end byte and was consumed by the end-of-block poll"},
        {sync + pumpBlock + "98:S03 100:RFC 101:S01 113:S09 115:RF6 116:S03", "missing complement: the pump never answered 01"},
        {sync + "40:R03 41:SFC 122:SFF 124:R09 125:SF6 175:R03", "no counter byte from the pump within 80 ms"},
        {sync + "40:R03 41:SFC 43:R00 44:SFF 46:R09 47:SF6 97:R07", "the pump's block ended with 07"},
    };
    for (const auto& row : rows) {
        const cli::Exchange ex = cli::AnalyseTrace(Line(row.line));
        const std::string report = cli::FormatExchange(ex);
        EXPECT_NE(report.find(row.finds), std::string::npos) << row.line << "\n" << report;
    }
}

TEST(TraceSummary, RefusesAFileThatIsNotATrace) {
    TempDir dir;
    std::ofstream(dir / "t") << "{\"t_us\":5,\"dir\":\"sent\",\"byte\":\"AE\"}\n{\"t_us\":9,\"dir\":\"sent\"}\n";
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);  // would block for ever
    const struct {
        std::string file;
        const char* says;
    } rows[] = {
        {dir / "t", "line 2: not a trace record"},
        {"/dev/zero", "/dev/zero: not a regular file"},  // would never end
        {dir / "fifo", "fifo: not a regular file"},
    };
    for (const auto& row : rows) {
        const Result r = Cli({"trace-summary", row.file});
        EXPECT_EQ(r.code, 6) << row.file;
        EXPECT_NE(r.err.find(row.says), std::string::npos) << r.err;
    }
}

// Each fault of the line, injected by the simulated unit, and what it comes to.
const struct InjectedFault {
    std::vector<std::string> tool;  // none: a bare pseudo-terminal, no adapter on it
    int code;
    const char* step;     // in the error of --json
    const char* summary;  // in trace-summary's report
    const char* cause;    // the failure's; empty: the diagnosis succeeds
} kInjectedFaults[] = {
    {{"--silent"}, 4, "synchronisation", "no synchronisation bytes: nothing came from the pump", "no_answer"},
    {{}, 4, "synchronisation", "the adapter returned no echo of the 1 bytes sent", "no_echo"},
    {{"--stop-after", "0"}, 4, "block", "but no block came from the pump", "no_block"},
    {{"--stop-after", "3"}, 4, "link", "lost link: after 3 blocks", "answers_stopped"},
    {{"--no-echo"}, 4, "", "the adapter returned no echo", "no_echo"},
    {{"--late-reply", "14:15"}, 0, "", "late reply: the pump's answer to 03 came after", ""},
    {{"--latency", "60"}, 4, "synchronisation", "55 8C 51 read together, too late", "late_answers"},
    {{"--lose-byte", "1"}, 4, "synchronisation", "the pump sent 55 51 but not 55 8C 51", "bad_sync"},
    {{"--lose-byte", "20"}, 4, "link", "where its end byte 03 was due", "garbled_blocks"},
};

// The line of a row: the simulated unit with the row's options, or nothing
// but the pseudo-terminal.
class RowLine {
public:
    explicit RowLine(const std::vector<std::string>& tool) {
        if (tool.empty()) bare_ = std::make_unique<PtyPair>();
        else tool_ = std::make_unique<PumpTool>(tool);
    }
    std::string Port() const { return tool_ ? tool_->Port() : bare_->SlavePath(); }

private:
    std::unique_ptr<PumpTool> tool_;
    std::unique_ptr<PtyPair> bare_;
};

TEST(Diagnose, InjectedFaultsGiveTheMatchingVerdicts) {
    for (const auto& row : kInjectedFaults) {
        RowLine tool(row.tool);
        TempDir dir;
        const Result r = Cli({"diagnose", "--port", tool.Port(), "--json", "--trace", dir / "t"});
        EXPECT_EQ(r.code, row.code) << row.summary << "\n" << r.err;
        if (*row.step) {
            EXPECT_NE(r.out.find(std::string("\"missing_step\":\"") + row.step), std::string::npos) << r.out;
        }
        const Result summary = Cli({"trace-summary", dir / "t"});
        EXPECT_NE(summary.out.find(row.summary), std::string::npos) << summary.out;
        // A script tests the cause; a diagnosis that succeeds has none.
        const std::size_t failure = r.out.find("\"failure\":{\"cause\":\"" + std::string(row.cause) + "\",\"text\":\"");
        if (*row.cause) {
            EXPECT_NE(failure, std::string::npos) << r.out;
        } else {
            EXPECT_EQ(r.out.find("\"failure\""), std::string::npos) << r.out;
        }
    }
}

// What the window shows, journals and saves for each failure: its logic
// with the headless face on the same faulty lines.
TEST(Diagnose, TheWindowSaysWhyTheLinkFailedJournalsItAndSavesTheLine) {
    TempDir home;
    const char* const names[] = {"HOME", "XDG_CONFIG_HOME"};
    std::vector<std::optional<std::string>> saved;
    for (const char* name : names) saved.push_back(std::getenv(name) ? std::optional<std::string>(std::getenv(name)) : std::nullopt);
    ::setenv("HOME", home.Path().c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    for (const auto& row : kInjectedFaults) {
        if (!*row.cause) continue;
        RowLine tool(row.tool);
        auto com = window::MakeComPort();
        cli::HeadlessWindow window(*com);
        window.SetJournalPath(home / "journal.csv");
        protocol::PumpProtocol engine(window.LinePort(), window);
        window.Attach(engine);
        engine.SetFirstStartValues();
        cli::OpenLikeTheProgram(*com, tool.Port());
        engine.SetRemainingStartValues();
        window.Button3Click();
        window.RunUntil([&] { return window.Failure().Failed(); }, 40s);
        const cli::LinkFailure shown = window.Failure();
        EXPECT_EQ(shown.cause, row.cause) << window.State().memo2;
        EXPECT_EQ(window.State().memo2.substr(0, shown.text.size()), shown.text);
        EXPECT_EQ(report::ReadJournal(home / "journal.csv").back().Field("event"),
                  "link failed (" + std::string(row.cause) + "): " + shown.text);

        // Save the line: the file reads back as the same failure.
        fs::remove_all(home / "Documents");
        window.SaveLineClick();
        window.EndLine();
        std::vector<fs::path> files;
        for (const auto& entry : fs::recursive_directory_iterator(home / "Documents"))
            if (entry.is_regular_file()) files.push_back(entry.path());
        ASSERT_EQ(files.size(), 1u) << row.cause;
        const std::vector<cli::LineRecord> records = cli::ReadTraceFile(files[0]);
        cli::LineFacts facts;
        facts.synced = engine.State().Synced;
        for (const cli::LineRecord& r : records) facts.arrived += r.dir == cli::LineDir::Echo || r.dir == cli::LineDir::Received;
        EXPECT_EQ(cli::ClassifyLinkFailure(cli::AnalyseTrace(records), facts).cause, row.cause);
    }
    for (std::size_t i = 0; i < saved.size(); ++i) {
        if (saved[i]) ::setenv(names[i], saved[i]->c_str(), 1);
        else ::unsetenv(names[i]);
    }
}

// A link lost while the line ran without real time names that as the likely
// cause: here an inherited limit on real-time processor time too small for
// the watchdog keeps the port's thread at normal priority.
TEST(Diagnose, ALostLinkSaysTheLineRanWithoutRealTime) {
    PumpTool tool({"--stop-after", "3"});
    const Result r = RunProgram({"prlimit", "--rttime=4000:8000", PUMPDIAG_CLI, "diagnose", "--port", tool.Port(), "--json"});
    EXPECT_EQ(r.code, 4) << r.err;
    const std::string why = "the inherited limit on real-time processor time is too small";
    EXPECT_NE(r.out.find("\"line_realtime\":false,\"no_realtime_reason\":\"" + why), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("the line ran without real-time priority: " + why), std::string::npos) << r.err;
}

// The window's logic, its face the companion's headless one, on a pump that
// falls silent after three blocks: what its text box holds once the link is
// lost, with the inherited hard limit on real-time CPU time set first.
// Printed by a process of its own (a death test's), whose limit stays.
void PrintMemoAfterALostLink(const std::string& port, rlim_t hardRtTime) {
    const rlimit rttime{hardRtTime == RLIM_INFINITY ? RLIM_INFINITY : hardRtTime / 2, hardRtTime};
    ::setrlimit(RLIMIT_RTTIME, &rttime);
    auto com = window::MakeComPort();
    cli::HeadlessWindow window(*com);
    protocol::PumpProtocol engine(window.LinePort(), window);
    window.Attach(engine);
    engine.SetFirstStartValues();
    cli::OpenLikeTheProgram(*com, port);
    engine.SetRemainingStartValues();
    window.Button3Click();
    bool started = false;
    window.RunUntil([&] {
        started = started || !window.State().enabled.at(protocol::Control::Button3);
        return started && window.State().enabled.at(protocol::Control::Button3);
    }, 30s);
    window.RunUntil([] { return false; }, 100ms);  // what the last tick posted
    std::fprintf(stderr, "memo=[%s]\n", window.State().memo2.c_str());
    window.EndLine();
    std::exit(0);
}

// A lost link while the line ran without real time is named as the likely
// cause in the window, after what the line shows (which, at normal priority
// on a busy machine, may well be late answers); one lost at real time is put
// down to the line alone.
TEST(Diagnose, TheWindowSaysALostLinkRanWithoutRealTime) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    {
        PumpTool tool({"--stop-after", "3"});
        EXPECT_EXIT(PrintMemoAfterALostLink(tool.Port(), 8000), testing::ExitedWithCode(0),
                    "memo=\\[[^\n]+\nThe link was lost while the line ran without real-time priority: the "
                    "inherited limit");
    }
    if (::geteuid() != 0) return;  // raised directly
    PumpTool tool({"--stop-after", "3"});
    EXPECT_EXIT(PrintMemoAfterALostLink(tool.Port(), RLIM_INFINITY), testing::ExitedWithCode(0),
                "memo=\\[The pump stopped answering in the middle of the exchange[^]]*start the communication again.\\]");
}

TEST(Diagnose, ALineThatNeverStopsSendingEndsAsNoAnswerInTimeAndInBoundedMemory) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    LineFlood flood(pty.Master());
    TempDir dir;
    const Result r = Cli({"diagnose", "--port", pty.SlavePath(), "--trace", dir / "t"});
    EXPECT_EQ(r.code, 4) << r.err;
    EXPECT_NE(r.out.find("Link failed (line_flood): "), std::string::npos) << r.out;
    // The port's settling and the wake-up take 1.2 s, then one step of at most 20 s.
    EXPECT_LT(r.took, 1200ms + 20s + 1s);
#ifndef __SANITIZE_ADDRESS__  // whose shadow and quarantine alone are larger
    EXPECT_LT(r.peakRssKb, 50 * 1024);
#endif
    // The trace file stops at its limit as a whole trace.
    EXPECT_LE(fs::file_size(dir / "t"), cli::kTraceFileLimit);
    std::ifstream trace(dir / "t");
    std::string line, lastLine;
    while (std::getline(trace, line)) lastLine = line;
    const auto end = cli::ParseRecord(lastLine);
    ASSERT_TRUE(end.has_value()) << lastLine;
    EXPECT_EQ(end->dir, cli::LineDir::End);
}

TEST(Diagnose, ClearsTheFaultMemoryOnlyWhenConfirmed) {
    const struct {
        const char* terminalAnswer;  // null: no terminal
        bool yes;
        int code;
        const char* says;
    } rows[] = {
        {nullptr, false, 5, "refusing to clear the fault memory without confirmation"},
        {"no\n", false, 5, "fault memory not cleared: not confirmed"},
        {"yes\n", false, 0, "clear request sent"},
        {nullptr, true, 0, "clear request sent"},
    };
    for (const auto& row : rows) {
        std::vector<std::string> args = {"diagnose", "--port", "SIM", "--read-faults", "--clear-faults", "--json"};
        if (row.yes) args.push_back("--yes");
        int master = -1, terminal = -1;
        if (row.terminalAnswer) {
            master = ::posix_openpt(O_RDWR | O_NOCTTY);
            ASSERT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
            terminal = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
            ASSERT_GE(terminal, 0);
            ASSERT_GT(::write(master, row.terminalAnswer, std::strlen(row.terminalAnswer)), 0);
        }
        const Result r = Cli(args, "", terminal);
        if (terminal >= 0) ::close(terminal);
        if (master >= 0) ::close(master);
        EXPECT_EQ(r.code, row.code) << row.says << "\n" << r.err;
        EXPECT_NE(r.err.find(row.says), std::string::npos) << r.err;
        const bool cleared = row.code == 0;
        EXPECT_EQ(r.out.find("\"cleared\":true,\"faults_after_clear\":[]") != std::string::npos, cleared) << r.out;
        EXPECT_EQ(r.err.find("Type yes to confirm") != std::string::npos, row.terminalAnswer != nullptr) << r.err;
    }
}

}  // namespace
