#include "trace/line_trace.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "trace/json.h"
#include "core/platform/exception.h"

namespace cli {

namespace {

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

std::vector<LineRecord> ReadTrace(std::istream& in, const std::string& name) {
    std::vector<LineRecord> records;
    std::uintmax_t total = 0;
    std::string line;
    int number = 1;
    auto take = [&] {
        if (line.find_first_not_of(" \t\r") == std::string::npos) return;
        auto record = ParseRecord(line);
        if (!record) throw core::EConvertError(name + ", line " + std::to_string(number) + ": not a trace record");
        records.push_back(*record);
    };
    // Read by the character, so that a line without end costs no more than the limit.
    for (int c; (c = in.get()) != std::char_traits<char>::eof();) {
        if (++total > kTraceFileLimit)
            throw core::EConvertError(name + ": longer than a trace can be (" + kTraceFileLimitText + ")");
        if (c != '\n') {
            line += static_cast<char>(c);
            continue;
        }
        take();
        line.clear();
        ++number;
    }
    if (in.bad()) throw core::EFOpenError("Cannot read file " + name);
    take();
    return records;
}

std::vector<LineRecord> ReadTraceFile(const std::string& path) {
    if (path == "-") return ReadTrace(std::cin, "standard input");
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (!error && status.type() != std::filesystem::file_type::regular)
        throw core::EFOpenError("Cannot read " + path + ": not a regular file");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw core::EFOpenError("Cannot open file " + path);
    return ReadTrace(in, path);
}

}  // namespace cli
