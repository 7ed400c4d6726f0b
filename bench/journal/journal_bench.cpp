// `pumpdiag-cli journal --serial` on a large journal: its time and its peak
// memory, the companion run as the user runs it (a child process, its
// output thrown away). The journal is made first, record by record, of
// pumps whose serial numbers repeat every thousand records.
//   bench_journal [MEGABYTES] [RUNS]      (100 MB and 5 runs by default)
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "report/csv.h"
#include "report/journal.h"

namespace {

namespace fs = std::filesystem;

// Writes about `bytes` of records; returns how many.
long MakeJournal(const fs::path& path, std::uint64_t bytes) {
    std::ofstream out(path, std::ios::binary);
    const report::JournalLayout layout = report::JournalLayout::Current();
    out << "\xEF\xBB\xBF" << report::CsvLine(layout.Columns());
    long records = 0;
    for (std::uint64_t written = 0; written < bytes; ++records) {
        report::JournalEntry e;
        char serial[32];
        std::snprintf(serial, sizeof serial, "VR%07ld 3470", 1000000 + records % 1000);
        e.Field("time") = "2026-12-08T11:25:13+03:00";
        e.Field("event") = records % 3 ? "fault read" : "identification";
        e.Field("port") = "COM3";
        e.Field("bosch_number") = "0 470 506 917";
        e.Field("id_number") = "PU4471    0218";
        e.Field("original_number") = "4B1907401S";
        e.Field("serial_number") = serial;
        e.Field("faults") = "53:2 5A:17";
        e.Field("erased") = "no";
        e.Field("version") = "0.1.0";
        const std::string line = report::CsvLine(layout.Row(e));
        out << line;
        written += line.size();
    }
    return records;
}

struct Run {
    double seconds = 0;
    long peakKiB = 0;
    int status = 0;
};

Run ListOnePump(const fs::path& dataHome) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
        execl(PD_CLI, PD_CLI, "journal", "--serial", "VR1000042", static_cast<char*>(nullptr));
        _exit(127);
    }
    Run run;
    rusage usage{};
    wait4(child, &run.status, 0, &usage);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.peakKiB = usage.ru_maxrss;
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    const std::uint64_t megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const fs::path home = fs::temp_directory_path() / ("pd_bench_journal_" + std::to_string(getpid()));
    fs::create_directories(home / "pumpdiag");
    const fs::path journal = home / "pumpdiag" / "journal.csv";
    const long records = MakeJournal(journal, megabytes * 1024 * 1024);
    std::printf("journal: %.1f MB, %ld records\n", fs::file_size(journal) / 1048576.0, records);

    std::vector<Run> all;
    for (int i = 0; i < runs; ++i) {
        all.push_back(ListOnePump(home));
        const Run& r = all.back();
        std::printf("run %d: %.2f s, peak %.1f MB%s\n", i + 1, r.seconds, r.peakKiB / 1024.0,
                    WIFEXITED(r.status) && WEXITSTATUS(r.status) == 0 ? "" : " (the companion failed)");
    }
    std::sort(all.begin(), all.end(), [](const Run& a, const Run& b) { return a.seconds < b.seconds; });
    const long peak = std::max_element(all.begin(), all.end(), [](const Run& a, const Run& b) {
                          return a.peakKiB < b.peakKiB;
                      })->peakKiB;
    std::printf("journal --serial: median %.2f s (%.2f to %.2f s), peak memory at most %.1f MB\n",
                all[all.size() / 2].seconds, all.front().seconds, all.back().seconds, peak / 1024.0);
    fs::remove_all(home);
    return 0;
}
