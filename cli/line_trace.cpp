#include "cli/line_trace.h"

#include <cstdio>

#include "cli/json.h"
#include "core/exception.h"

namespace cli {

namespace {

using Clock = std::chrono::steady_clock;

// A byte that comes back later than the engine waits for its echo is no
// longer taken for one.
constexpr auto kEchoWait = std::chrono::milliseconds(101);

constexpr struct {
    LineDir dir;
    const char* name;
} kDirNames[] = {
    {LineDir::Sent, "sent"},         {LineDir::Echo, "echo"},          {LineDir::Received, "received"},
    {LineDir::BreakOn, "break_on"}, {LineDir::BreakOff, "break_off"}, {LineDir::Purge, "purge"},       {LineDir::End, "end"},
};

const char* DirName(LineDir dir) {
    for (const auto& d : kDirNames)
        if (d.dir == dir) return d.name;
    return "?";
}

}  // namespace

bool CarriesByte(LineDir dir) { return dir == LineDir::Sent || dir == LineDir::Echo || dir == LineDir::Received; }

std::string FormatRecord(const LineRecord& r) {
    std::string line = "{\"t_us\":" + std::to_string(r.us) + ",\"dir\":\"" + DirName(r.dir) + "\"";
    if (CarriesByte(r.dir)) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", r.byte);
        line += std::string(",\"byte\":\"") + hex + "\"";
    }
    return line + "}";
}

std::optional<LineRecord> ParseRecord(const std::string& line) {
    const auto object = ParseFlatObject(line);
    if (!object || !object->count("t_us") || !object->count("dir")) return std::nullopt;
    LineRecord r;
    const std::string& t = object->at("t_us");
    if (t.empty() || t.find_first_not_of("0123456789") != std::string::npos || t.size() > 15) return std::nullopt;
    r.us = std::stoll(t);
    bool known = false;
    for (const auto& d : kDirNames)
        if (object->at("dir") == d.name) {
            r.dir = d.dir;
            known = true;
        }
    if (!known) return std::nullopt;
    if (CarriesByte(r.dir)) {
        const auto byte = object->find("byte");
        if (byte == object->end() || byte->second.size() != 2 ||
            byte->second.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return std::nullopt;
        r.byte = static_cast<std::uint8_t>(std::stoul(byte->second, nullptr, 16));
    }
    return r;
}

std::vector<LineRecord> ReadTraceFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw core::EFOpenError("Cannot open file " + path);
    std::vector<LineRecord> records;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        auto record = ParseRecord(line);
        if (!record) throw core::EConvertError(path + ", line " + std::to_string(number) + ": not a trace record");
        records.push_back(*record);
    }
    if (in.bad()) throw core::EFOpenError("Cannot read file " + path);
    return records;
}

TracingPort::TracingPort(protocol::PumpPort& inner) : inner_(inner), start_(Clock::now()) {}

void TracingPort::WriteTo(const std::string& path) {
    std::lock_guard guard(mutex_);
    file_.open(path, std::ios::out | std::ios::trunc);
    if (!file_) throw core::EFCreateError("Cannot create file " + path);
    path_ = path;
    for (const auto& r : records_) file_ << FormatRecord(r) << '\n';
}

void TracingPort::Finish() {
    std::lock_guard guard(mutex_);
    if (finished_) return;
    finished_ = true;
    Add(LineDir::End, 0, Clock::now());
    if (!file_.is_open()) return;
    file_.flush();
    if (!file_) throw core::EFCreateError("Cannot write file " + path_);
    file_.close();
}

int TracingPort::WriteText(const std::string& bytes) {
    const int written = inner_.WriteText(bytes);
    // Stamped when the write has completed: the byte is then on the line.
    const auto at = Clock::now();
    std::lock_guard guard(mutex_);
    for (char c : bytes) {
        Add(LineDir::Sent, static_cast<std::uint8_t>(c), at);
        pendingEcho_.emplace_back(static_cast<std::uint8_t>(c), at);
    }
    return written;
}

int TracingPort::ReadText(std::string& bytes, int count) {
    const int n = inner_.ReadText(bytes, count);
    const auto at = Clock::now();
    std::lock_guard guard(mutex_);
    for (char c : bytes) {
        const auto byte = static_cast<std::uint8_t>(c);
        while (!pendingEcho_.empty() && at - pendingEcho_.front().second > kEchoWait) pendingEcho_.pop_front();
        // The adapter returns what was sent, in order; anything else is the pump's.
        const bool echo = !pendingEcho_.empty() && pendingEcho_.front().first == byte;
        if (echo) pendingEcho_.pop_front();
        Add(echo ? LineDir::Echo : LineDir::Received, byte, at);
    }
    return n;
}

void TracingPort::SetBreakState(bool on) {
    inner_.SetBreakState(on);
    std::lock_guard guard(mutex_);
    Add(on ? LineDir::BreakOn : LineDir::BreakOff, 0, Clock::now());
}

void TracingPort::PurgeBuffers(bool input, bool output) {
    inner_.PurgeBuffers(input, output);
    std::lock_guard guard(mutex_);
    if (input) pendingEcho_.clear();
    Add(LineDir::Purge, 0, Clock::now());
}

std::vector<LineRecord> TracingPort::Records() const {
    std::lock_guard guard(mutex_);
    return records_;
}

void TracingPort::Add(LineDir dir, std::uint8_t byte, Clock::time_point at) {
    const LineRecord r{std::chrono::duration_cast<std::chrono::microseconds>(at - start_).count(), dir, byte};
    records_.push_back(r);
    if (file_.is_open()) file_ << FormatRecord(r) << '\n';
}

}  // namespace cli
