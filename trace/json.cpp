#include "trace/json.h"

#include <cstdio>

namespace cli {

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

namespace {

void SkipSpace(const std::string& s, std::size_t& i) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\r' || s[i] == '\n')) ++i;
}

// A string literal at s[i] (the opening quote); escapes other than \uXXXX
// below 0x80 are all the writer produces, and all that is accepted.
std::optional<std::string> ReadString(const std::string& s, std::size_t& i) {
    if (i >= s.size() || s[i] != '"') return std::nullopt;
    std::string out;
    for (++i; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '"') {
            ++i;
            return out;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i >= s.size()) return std::nullopt;
        switch (s[i]) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                if (i + 4 >= s.size()) return std::nullopt;
                const std::string hex = s.substr(i + 1, 4);
                if (hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return std::nullopt;
                const unsigned long code = std::stoul(hex, nullptr, 16);
                if (code >= 0x80) return std::nullopt;
                out += static_cast<char>(code);
                i += 4;
                break;
            }
            default: return std::nullopt;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<JsonObject> ParseFlatObject(const std::string& line) {
    JsonObject object;
    std::size_t i = 0;
    SkipSpace(line, i);
    if (i >= line.size() || line[i++] != '{') return std::nullopt;
    SkipSpace(line, i);
    if (i < line.size() && line[i] == '}') return object;
    for (;;) {
        SkipSpace(line, i);
        auto key = ReadString(line, i);
        if (!key) return std::nullopt;
        SkipSpace(line, i);
        if (i >= line.size() || line[i++] != ':') return std::nullopt;
        SkipSpace(line, i);
        if (i < line.size() && line[i] == '"') {
            auto value = ReadString(line, i);
            if (!value) return std::nullopt;
            object[*key] = *value;
        } else {
            const std::size_t start = i;
            while (i < line.size() && line[i] != ',' && line[i] != '}' && line[i] != ' ') ++i;
            if (i == start) return std::nullopt;
            object[*key] = line.substr(start, i - start);
        }
        SkipSpace(line, i);
        if (i >= line.size()) return std::nullopt;
        if (line[i] == '}') break;
        if (line[i++] != ',') return std::nullopt;
    }
    ++i;
    SkipSpace(line, i);
    if (i != line.size()) return std::nullopt;
    return object;
}

}  // namespace cli
