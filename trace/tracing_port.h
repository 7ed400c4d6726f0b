// Records the line at the engine's port seam: every byte and line condition
// passing through to the real port, in memory for the diagnosis's own
// verdicts and, when asked, in a trace file written as the records come.
// The companion records a whole run; the window, which runs for hours, starts
// the memory again at every start of the communication (MarkStart).
//
// A line that never stops sending must not take the memory or the disk: the
// memory keeps the line's beginning (the wake-up, the synchronisation, the
// first blocks) and its latest records, and the file ends at
// kTraceFileLimit with an end record. Once the memory is full, recording
// allocates nothing: the engine's line threads pass through here.
//
// Threads: the engine's two threads both come through here, and the GUI
// thread reads back, so everything (the window, the pending echoes, the
// file) is used under mutex_.
#pragma once

#include <chrono>
#include <cstdint>
#include <array>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "trace/line_trace.h"
#include "protocol/pump_port.h"

namespace cli {

// The first `head` records and the latest `tail` ones.
class LineWindow {
public:
    LineWindow(std::size_t head, std::size_t tail) : head_(head), tail_(tail) {}
    void Add(const LineRecord& record);
    // Empty again, its memory kept for the records to come.
    void Clear();
    // In order; the records left out lie between the head and the tail.
    std::vector<LineRecord> Records() const;
    std::uint64_t LeftOut() const { return leftOut_; }
    // Where the records left out end: the time of the tail's oldest; -1 when none was left out.
    std::int64_t GapEndUs() const;
    // What the records take, whatever was added.
    std::size_t MemoryBytes() const { return (first_.capacity() + latest_.capacity()) * sizeof(LineRecord); }

private:
    std::size_t head_, tail_;
    std::vector<LineRecord> first_;
    std::vector<LineRecord> latest_;  // a ring once full; next_ is its oldest
    std::size_t next_ = 0;
    std::uint64_t leftOut_ = 0;
};

// The line since the last start, as read back after a failure.
struct LineSnapshot {
    std::vector<LineRecord> records;  // in order, ended by an end record at the snapshot's time
    std::uint64_t arrived = 0;        // bytes read since the start, echoes included
    std::int64_t startUs = 0;         // when the start was, on the records' clock
    std::int64_t gapEndUs = -1;       // records were left out before this time; -1: none
};

class TracingPort final : public protocol::PumpPort {
public:
    // A whole session with its waits holds some 100,000 records (1.6 MB);
    // the window keeps twice that at each end.
    static constexpr std::size_t kHeadRecords = 1 << 17;
    static constexpr std::size_t kTailRecords = 1 << 17;

    explicit TracingPort(protocol::PumpPort& inner, std::uintmax_t fileLimit = kTraceFileLimit,
                         std::size_t headRecords = kHeadRecords, std::size_t tailRecords = kTailRecords);

    // Also writes every record to `path` as it is taken; raises
    // core::EFCreateError when the file cannot be created.
    void WriteTo(const std::string& path);
    // Ends the trace with an end record and closes the file, once; raises
    // core::EFCreateError if writing failed.
    void Finish();
    // Set once the file reached its limit: a message saying so.
    std::string FileLimitNote() const;

    int WriteText(const std::string& bytes) override;
    int ReadText(std::string& bytes, int count) override;
    void SetBreakState(bool on) override;
    void PurgeBuffers(bool input, bool output) override;

    std::vector<LineRecord> Records() const;
    // Bytes read from the line since the start, echoes included; those
    // sent and those of them that came back as their echo.
    std::uint64_t Arrived() const;
    std::uint64_t Sent() const;
    std::uint64_t Echoed() const;

    // Forgets the records kept in memory (not those in the file): the line
    // from here on is a new start's.
    void MarkStart();
    LineSnapshot Snapshot() const;
    // What the records in memory take.
    std::size_t MemoryBytes() const;

private:
    void Add(LineDir dir, std::uint8_t byte, std::chrono::steady_clock::time_point at);
    void Write(const LineRecord& record);
    void Flush();

    protocol::PumpPort& inner_;
    const std::chrono::steady_clock::time_point start_;
    const std::uintmax_t fileLimit_;
    mutable std::mutex mutex_;
    LineWindow window_;
    // Bytes sent whose echo has not come back yet, with when they were sent.
    // A fixed ring: bytes still awaited beyond its size are given up.
    struct SentByte {
        std::uint8_t byte = 0;
        std::chrono::steady_clock::time_point at;
    };
    static constexpr std::size_t kPendingEchoes = 1024;
    std::array<SentByte, kPendingEchoes> pendingEcho_{};
    std::size_t pendingFirst_ = 0, pendingCount_ = 0;
    void PushPending(std::uint8_t byte, std::chrono::steady_clock::time_point at);
    void PopPending();
    std::int64_t startUs_ = 0;
    std::string path_;
    std::ofstream file_;
    std::uint64_t arrived_ = 0;
    std::uint64_t sent_ = 0, echoed_ = 0;
    std::uintmax_t written_ = 0;
    std::int64_t limitReachedUs_ = -1;
    bool writeFailed_ = false;
    bool finished_ = false;
};

}  // namespace cli
