// Start-up time and peak memory of the program's window against a bare Win32
// window: each program is started in the current folder a number of times;
// the time runs from creating the process to its top-level window of the
// given class being visible, the memory is the process's peak working set
// and peak private bytes when that window has been shown for a moment.
//
//   bench_window_startup RUNS PROGRAM CLASS BARE_PROGRAM BARE_CLASS
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Sample {
    double ms;
    double workingSetMb, privateMb;
};

double Now() {
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

HWND VisibleWindow(DWORD process, const wchar_t* type) {
    struct Search {
        DWORD process;
        const wchar_t* type;
        HWND found;
    } search{process, type, nullptr};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            DWORD owner = 0;
            wchar_t name[64];
            GetWindowThreadProcessId(window, &owner);
            if (owner != s->process || !IsWindowVisible(window) || !GetClassNameW(window, name, 64)) return TRUE;
            if (lstrcmpW(name, s->type) != 0) return TRUE;
            s->found = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool Run(const std::wstring& program, const wchar_t* type, Sample& sample) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring line = L"\"" + program + L"\"";
    const double start = Now();
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    HWND window = nullptr;
    while (!(window = VisibleWindow(process.dwProcessId, type)) && Now() - start < 60000) Sleep(1);
    sample.ms = Now() - start;
    // What the first paint and the first timer ticks take is counted too.
    Sleep(500);
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(process.hProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
    sample.workingSetMb = static_cast<double>(memory.PeakWorkingSetSize) / (1024.0 * 1024.0);
    sample.privateMb = static_cast<double>(memory.PeakPagefileUsage) / (1024.0 * 1024.0);
    if (window) PostMessageW(window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.hProcess, 15000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return window != nullptr;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Result {
    double ms, workingSetMb, privateMb;
};

Result Measure(int runs, const std::wstring& program, const wchar_t* type) {
    std::vector<double> ms, ws, priv;
    for (int i = 0; i < runs; ++i) {
        Sample sample{};
        if (!Run(program, type, sample)) {
            std::fprintf(stderr, "bench_window_startup: no visible window of the program\n");
            std::exit(1);
        }
        ms.push_back(sample.ms);
        ws.push_back(sample.workingSetMb);
        priv.push_back(sample.privateMb);
    }
    return {Median(ms), Median(ws), Median(priv)};
}

std::wstring Wide(const char* text) {
    std::wstring out(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, out.data(), static_cast<int>(out.size()));
    out.pop_back();
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: bench_window_startup RUNS PROGRAM CLASS BARE_PROGRAM BARE_CLASS\n");
        return 2;
    }
    const int runs = std::max(1, std::atoi(argv[1]));
    const Result program = Measure(runs, Wide(argv[2]), Wide(argv[3]).c_str());
    const Result bare = Measure(runs, Wide(argv[4]), Wide(argv[5]).c_str());
    std::printf("%-14s %12s %16s %16s\n", "", "start-up ms", "peak working MB", "peak private MB");
    std::printf("%-14s %12.1f %16.1f %16.1f\n", "pumpdiag", program.ms, program.workingSetMb, program.privateMb);
    std::printf("%-14s %12.1f %16.1f %16.1f\n", "bare window", bare.ms, bare.workingSetMb, bare.privateMb);
    std::printf("%-14s %11.2fx %15.2fx %15.2fx\n", "ratio", program.ms / bare.ms, program.workingSetMb / bare.workingSetMb,
                program.privateMb / bare.privateMb);
    std::printf("(medians of %d starts each)\n", runs);
    return 0;
}
