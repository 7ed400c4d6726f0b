// Soak benchmark: whole diagnoses, one after another, against the simulated
// pump in the process (SIM) and against pumpsim-tool on a pseudo-terminal,
// each with the machine idle and with a busy loop on every core. Prints for
// each case how many diagnoses succeeded, the engine's poll intervals (time
// between successive reads of its 1 ms poll loops) at p50, p99 and max, and
// every derailment with its cause as the line shows it.
//
//   bench_soak [--runs N] [--hold SECONDS] [--quick] [--cases LIST]
//              [--tool PATH] [--data DIR]
//
//   --runs N        diagnoses per case (default 20)
//   --hold SECONDS  the last diagnosis of a case then holds the link idle this
//                   long (default 60)
//   --quick         5 runs, 10 s hold
//   --cases LIST    comma-separated subset of sim, sim-hog, pty, pty-hog
//   --tool PATH     pumpsim-tool to serve the pseudo-terminal (default: the
//                   one built beside this benchmark)
//   --data DIR      folder of the fault help texts (default: the source data/)
//
// The benchmark sets no priority of its own: the engine's threads run at
// whatever the program's components choose, and each run reports whether its
// wake-up and its line threads were raised. Like the program, the process
// asks the real-time broker's limits once and then one request a thread. For a comparison, start it at
// real-time priority as root: `chrt -f 10 bench_soak`. The busy loops always
// run at normal priority.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cpu_hog.h"
#include "diagnosis.h"
#include "pty_tool.h"
#include "timed_port.h"


namespace {

struct Options {
    int runs = 20;
    double holdSeconds = 60;
    std::vector<std::string> cases{"sim", "sim-hog", "pty", "pty-hog"};
    std::string tool = PUMPSIM_TOOL;
    std::string dataDir = SOAK_DATA_DIR;
};

std::optional<Options> Parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--quick") {
            o.runs = 5;
            o.holdSeconds = 10;
        } else if (a == "--runs" && hasValue) {
            o.runs = std::atoi(argv[++i]);
        } else if (a == "--hold" && hasValue) {
            o.holdSeconds = std::atof(argv[++i]);
        } else if (a == "--cases" && hasValue) {
            o.cases.clear();
            std::stringstream list(argv[++i]);
            for (std::string c; std::getline(list, c, ',');) o.cases.push_back(c);
        } else if (a == "--tool" && hasValue) {
            o.tool = argv[++i];
        } else if (a == "--data" && hasValue) {
            o.dataDir = argv[++i];
        } else {
            return std::nullopt;
        }
    }
    const char* known[] = {"sim", "sim-hog", "pty", "pty-hog"};
    for (const auto& c : o.cases)
        if (std::find(std::begin(known), std::end(known), c) == std::end(known)) return std::nullopt;
    if (o.runs < 1 || o.holdSeconds < 0) return std::nullopt;
    return o;
}


void RunCase(const std::string& name, const Options& o) {
    const bool pty = name.rfind("pty", 0) == 0;
    const bool hogged = name.find("-hog") != std::string::npos;
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    std::unique_ptr<soak::CpuHog> hog;
    if (hogged) hog = std::make_unique<soak::CpuHog>(cores);

    int successes = 0;
    int wakeUpsRaised = 0, linesRaised = 0;
    std::vector<double> intervals;
    std::vector<std::string> derailments;
    for (int run = 1; run <= o.runs; ++run) {
        const double hold = run == o.runs ? o.holdSeconds : 0;
        soak::DiagnosisResult r;
        if (pty) {
            // A fresh unit with its whole fault memory for each diagnosis; its
            // closing words would only interleave with the figures.
            testing_support::PtyTool tool(o.tool, true);
            if (tool.Path().empty()) {
                r.failedStep = "serve the pseudo-terminal";
                r.cause = o.tool + " did not start";
            } else {
                r = soak::RunDiagnosis(tool.Path(), false, o.dataDir, hold);
            }
        } else {
            r = soak::RunDiagnosis("SIM", true, o.dataDir, hold);
        }
        successes += r.ok;
        wakeUpsRaised += r.wakeUpRaised;
        linesRaised += r.realTimeThreads > 0;
        intervals.insert(intervals.end(), r.pollIntervals.begin(), r.pollIntervals.end());
        if (!r.ok) derailments.push_back("run " + std::to_string(run) + ", " + r.failedStep + ": " + r.cause);
        std::fprintf(stderr, "%s run %d: %s; wake-up %s, %d line threads raised\n", name.c_str(), run,
                     r.ok ? "ok" : r.failedStep.c_str(),
                     r.wakeUpRaised ? "raised" : r.wakeUpRaisedAtEnd ? "raised late" : "at normal priority",
                     r.realTimeThreads);
    }
    hog.reset();

    std::sort(intervals.begin(), intervals.end());
    std::printf("%-8s %s  %2d/%-2d ok   poll interval p50 %.2f ms  p99 %.2f ms  max %.1f ms  (%zu polls; "
                "raised: wake-up in %d, line threads in %d runs; last run to hold %.0f s)\n",
                name.c_str(), hogged ? (std::to_string(cores) + " busy loops").c_str() : "idle        ", successes,
                o.runs, soak::Percentile(intervals, 0.5), soak::Percentile(intervals, 0.99),
                intervals.empty() ? 0.0 : intervals.back(), intervals.size(), wakeUpsRaised, linesRaised, o.holdSeconds);
    for (const auto& d : derailments) std::printf("         derailed: %s\n", d.c_str());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const auto options = Parse(argc, argv);
    if (!options) {
        std::fprintf(stderr,
                     "usage: bench_soak [--runs N] [--hold SECONDS] [--quick] [--cases sim,sim-hog,pty,pty-hog] "
                     "[--tool PATH] [--data DIR]\n");
        return 2;
    }
    std::printf("Whole diagnoses (start, identification, read faults, help text, clear, read again), %d a case\n",
                options->runs);
    for (const auto& name : options->cases) RunCase(name, *options);
    return 0;
}
