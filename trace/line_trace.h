// The line as the tester sees it, byte by byte: what it sent, the adapter's
// echo of it, and what came from the pump, each with the time the tester saw
// it (TracingPort records it at the engine's port seam). A trace file holds
// one record a line (JSON Lines):
//   {"t_us":1234567,"dir":"sent","byte":"AE"}
// dir is sent, echo or received; break_on, break_off, purge and end (the
// trace was closed) carry no byte.
#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <vector>

namespace cli {

enum class LineDir { Sent, Echo, Received, BreakOn, BreakOff, Purge, End };

struct LineRecord {
    std::int64_t us = 0;  // since the trace began
    LineDir dir = LineDir::Sent;
    std::uint8_t byte = 0;
    bool operator==(const LineRecord&) const = default;
};

bool CarriesByte(LineDir dir);
std::string FormatRecord(const LineRecord& record);
std::optional<LineRecord> ParseRecord(const std::string& line);

// A trace file is at most this long: the companion stops writing there, and
// a reader refuses more.
inline constexpr std::uintmax_t kTraceFileLimit = 64u << 20;
inline constexpr const char* kTraceFileLimitText = "64 MB";

// Reads trace records from `in`, named `name` in messages; raises
// core::EConvertError naming the first line that is not a record, or when
// the input goes beyond kTraceFileLimit, and core::EFOpenError when reading fails.
std::vector<LineRecord> ReadTrace(std::istream& in, const std::string& name);

// Reads a trace file, "-" standard input; raises core::EFOpenError when it
// cannot be read or is not a regular file (a FIFO or a device never ends),
// and what ReadTrace raises.
std::vector<LineRecord> ReadTraceFile(const std::string& path);

}  // namespace cli
