// The line as the tester sees it, byte by byte: what it sent, the adapter's
// echo of it, and what came from the pump, each with the time the tester saw
// it. TracingPort records it at the engine's port seam; a trace file holds one
// record a line (JSON Lines):
//   {"t_us":1234567,"dir":"sent","byte":"AE"}
// dir is sent, echo or received; break_on, break_off, purge and end (the
// trace was closed) carry no byte.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "protocol/pump_port.h"

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

// Reads a trace file; raises core::EFOpenError when it cannot be read and
// core::EConvertError naming the first line that is not a record.
std::vector<LineRecord> ReadTraceFile(const std::string& path);

// Records every byte and line condition passing through to `inner`. Both the
// engine's threads come through here, so everything runs under one lock:
//   records_, pendingEcho_, file_ - any thread, under mutex_.
class TracingPort final : public protocol::PumpPort {
public:
    explicit TracingPort(protocol::PumpPort& inner);

    // Also writes every record to `path` as it is taken; raises
    // core::EFCreateError when the file cannot be created.
    void WriteTo(const std::string& path);
    // Ends the trace with an end record and flushes the file, once; raises
    // core::EFCreateError if writing failed.
    void Finish();

    int WriteText(const std::string& bytes) override;
    int ReadText(std::string& bytes, int count) override;
    void SetBreakState(bool on) override;
    void PurgeBuffers(bool input, bool output) override;

    std::vector<LineRecord> Records() const;

private:
    void Add(LineDir dir, std::uint8_t byte, std::chrono::steady_clock::time_point at);

    protocol::PumpPort& inner_;
    const std::chrono::steady_clock::time_point start_;
    mutable std::mutex mutex_;
    std::vector<LineRecord> records_;
    // Bytes sent whose echo has not come back yet, with when they were sent.
    std::deque<std::pair<std::uint8_t, std::chrono::steady_clock::time_point>> pendingEcho_;
    std::string path_;
    std::ofstream file_;
    bool finished_ = false;
};

}  // namespace cli
