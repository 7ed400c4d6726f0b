// The companion's command line: GNU-style options (--opt value or
// --opt=value, -- ends the options, - names standard input) and its usage text.
#pragma once

#include <string>
#include <vector>

#include "adapter/adapter_check.h"

namespace cli {

// The usage --help prints: every option and the exit codes.
std::string Usage();
// The platform's part of it: the port names PORT takes ("COMn (/dev/ttyS(n-1)),
// ..."), the folders help texts are looked for in after the working folder,
// and the journal's folder.
std::string PortNamesUsage();
std::string HelpFoldersUsage();
std::string JournalFolderUsage();

// The window's check sends as many, so that both give the same verdict.
inline constexpr int kDefaultCount = adapter::kCheckBytes;

struct Args {
    std::string command;
    std::string port;
    std::string file;  // trace-summary's trace; "-" standard input
    std::string svg;
    std::string trace;
    std::string report;  // diagnose's report file
    std::string serial, since;  // journal's filters
    int count = kDefaultCount;
    bool readFaults = false, clearFaults = false, yes = false, json = false, help = false, version = false;
};

// Raises core::EConvertError naming what is wrong, in one line.
Args ParseCommandLine(const std::vector<std::string>& argv);

}  // namespace cli
