#include "trace/tracing_port.h"

#include <cstdio>
#include <limits>

#include "core/platform/exception.h"

namespace cli {

namespace {

using Clock = std::chrono::steady_clock;

// A byte that comes back later than the engine waits for its echo is no
// longer taken for one.
constexpr auto kEchoWait = std::chrono::milliseconds(101);

}  // namespace

void LineWindow::Add(const LineRecord& record) {
    if (first_.size() < head_) {
        first_.push_back(record);
    } else if (latest_.size() < tail_) {
        latest_.push_back(record);
    } else if (tail_ > 0) {
        ++leftOut_;
        latest_[next_] = record;
        next_ = (next_ + 1) % tail_;
    } else {
        ++leftOut_;
    }
}

void LineWindow::Clear() {
    first_.clear();
    latest_.clear();
    next_ = 0;
    leftOut_ = 0;
}

std::int64_t LineWindow::GapEndUs() const {
    if (leftOut_ == 0 || latest_.empty()) return -1;
    return latest_[next_ % latest_.size()].us;
}

std::vector<LineRecord> LineWindow::Records() const {
    std::vector<LineRecord> all(first_);
    all.reserve(first_.size() + latest_.size());
    all.insert(all.end(), latest_.begin() + static_cast<std::ptrdiff_t>(next_), latest_.end());
    all.insert(all.end(), latest_.begin(), latest_.begin() + static_cast<std::ptrdiff_t>(next_));
    return all;
}

TracingPort::TracingPort(protocol::PumpPort& inner, std::uintmax_t fileLimit, std::size_t headRecords,
                         std::size_t tailRecords)
    : inner_(inner), start_(Clock::now()), fileLimit_(fileLimit), window_(headRecords, tailRecords) {}

void TracingPort::WriteTo(const std::string& path) {
    std::lock_guard guard(mutex_);
    file_.open(path, std::ios::out | std::ios::trunc);
    if (!file_) throw core::EFCreateError("Cannot create file " + path);
    path_ = path;
    for (const auto& r : window_.Records()) Write(r);
    Flush();
}

void TracingPort::Finish() {
    std::lock_guard guard(mutex_);
    if (finished_) return;
    finished_ = true;
    Add(LineDir::End, 0, Clock::now());
    if (!file_.is_open()) return;
    file_.close();
    if (writeFailed_ || !file_) throw core::EFCreateError("Cannot write file " + path_);
}

std::string TracingPort::FileLimitNote() const {
    std::lock_guard guard(mutex_);
    if (limitReachedUs_ < 0) return "";
    char at[32];
    std::snprintf(at, sizeof at, "+%.3f s", static_cast<double>(limitReachedUs_) / 1e6);
    return "the trace file " + path_ + " reached its limit of " + kTraceFileLimitText + " at " + at +
           ": what came later is not in it";
}

int TracingPort::WriteText(const std::string& bytes) {
    // Awaited before the write: another thread that reads while the byte goes
    // out (the window's echo probe, sent from the GUI thread) takes its echo
    // for one.
    {
        const auto before = Clock::now();
        std::lock_guard guard(mutex_);
        for (char c : bytes) PushPending(static_cast<std::uint8_t>(c), before);
    }
    const int written = inner_.WriteText(bytes);
    // Stamped when the write has completed: the byte is then on the line.
    const auto at = Clock::now();
    std::lock_guard guard(mutex_);
    for (char c : bytes) {
        Add(LineDir::Sent, static_cast<std::uint8_t>(c), at);
        ++sent_;
    }
    Flush();
    return written;
}

int TracingPort::ReadText(std::string& bytes, int count) {
    const int n = inner_.ReadText(bytes, count);
    const auto at = Clock::now();
    std::lock_guard guard(mutex_);
    arrived_ += bytes.size();
    for (char c : bytes) {
        const auto byte = static_cast<std::uint8_t>(c);
        while (pendingCount_ > 0 && at - pendingEcho_[pendingFirst_].at > kEchoWait) PopPending();
        // The adapter returns what was sent, in order; anything else is the pump's.
        const bool echo = pendingCount_ > 0 && pendingEcho_[pendingFirst_].byte == byte;
        if (echo) {
            PopPending();
            ++echoed_;
        }
        Add(echo ? LineDir::Echo : LineDir::Received, byte, at);
    }
    Flush();
    return n;
}

void TracingPort::SetBreakState(bool on) {
    inner_.SetBreakState(on);
    std::lock_guard guard(mutex_);
    Add(on ? LineDir::BreakOn : LineDir::BreakOff, 0, Clock::now());
    Flush();
}

void TracingPort::PurgeBuffers(bool input, bool output) {
    inner_.PurgeBuffers(input, output);
    std::lock_guard guard(mutex_);
    if (input) pendingCount_ = 0;
    Add(LineDir::Purge, 0, Clock::now());
    Flush();
}

std::uint64_t TracingPort::Arrived() const {
    std::lock_guard guard(mutex_);
    return arrived_;
}

std::uint64_t TracingPort::Sent() const {
    std::lock_guard guard(mutex_);
    return sent_;
}

std::uint64_t TracingPort::Echoed() const {
    std::lock_guard guard(mutex_);
    return echoed_;
}

std::vector<LineRecord> TracingPort::Records() const {
    std::lock_guard guard(mutex_);
    return window_.Records();
}

void TracingPort::MarkStart() {
    const auto now = Clock::now();
    std::lock_guard guard(mutex_);
    window_.Clear();
    arrived_ = sent_ = echoed_ = 0;
    startUs_ = std::chrono::duration_cast<std::chrono::microseconds>(now - start_).count();
}

LineSnapshot TracingPort::Snapshot() const {
    LineSnapshot snapshot;
    {
        std::lock_guard guard(mutex_);
        snapshot.records = window_.Records();
        snapshot.arrived = arrived_;
        snapshot.startUs = startUs_;
        snapshot.gapEndUs = window_.GapEndUs();
    }
    const auto now = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start_).count();
    snapshot.records.push_back({now, LineDir::End, 0});
    return snapshot;
}

std::size_t TracingPort::MemoryBytes() const {
    std::lock_guard guard(mutex_);
    return window_.MemoryBytes() + sizeof pendingEcho_;
}

void TracingPort::PushPending(std::uint8_t byte, Clock::time_point at) {
    if (pendingCount_ == kPendingEchoes) PopPending();
    pendingEcho_[(pendingFirst_ + pendingCount_) % kPendingEchoes] = {byte, at};
    ++pendingCount_;
}

void TracingPort::PopPending() {
    pendingFirst_ = (pendingFirst_ + 1) % kPendingEchoes;
    --pendingCount_;
}

void TracingPort::Add(LineDir dir, std::uint8_t byte, Clock::time_point at) {
    const LineRecord r{std::chrono::duration_cast<std::chrono::microseconds>(at - start_).count(), dir, byte};
    window_.Add(r);
    Write(r);
}

// The file ends at its limit as a trace ends: with an end record, which
// always fits in the room kept for it.
void TracingPort::Write(const LineRecord& r) {
    if (!file_.is_open() || limitReachedUs_ >= 0) return;
    static const std::uintmax_t kEndRoom = FormatRecord({std::numeric_limits<std::int64_t>::max(), LineDir::End, 0}).size() + 1;
    std::string line = FormatRecord(r) + '\n';
    if (r.dir != LineDir::End && written_ + line.size() + kEndRoom > fileLimit_) {
        limitReachedUs_ = r.us;
        line = FormatRecord({r.us, LineDir::End, 0}) + '\n';
    }
    file_ << line;
    written_ += line.size();
}

// Each step's records reach the file at once, so that it is whole up to the
// moment the companion is stopped.
void TracingPort::Flush() {
    if (!file_.is_open()) return;
    file_.flush();
    if (!file_) writeFailed_ = true;
}

}  // namespace cli
