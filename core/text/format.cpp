#include "core/text/format.h"

#include <cstdio>
#include <vector>

namespace core {

namespace {

std::string Pad(std::string body, int width, bool left, char fill) {
    if (width <= 0 || static_cast<int>(body.size()) >= width) return body;
    std::string pad(static_cast<size_t>(width) - body.size(), fill);
    if (left) return body + std::string(pad.size(), ' ');
    if (fill == '0' && !body.empty() && body[0] == '-') return "-" + pad + body.substr(1);
    return pad + body;
}

std::string ToText(const FormatArg& arg, char conv) {
    if (const auto* s = std::get_if<std::string>(&arg)) return *s;
    std::int64_t v = std::get<std::int64_t>(arg);
    char buf[32];
    switch (conv) {
        case 'x': std::snprintf(buf, sizeof buf, "%llx", static_cast<unsigned long long>(static_cast<std::uint32_t>(v))); break;
        case 'X': std::snprintf(buf, sizeof buf, "%llX", static_cast<unsigned long long>(static_cast<std::uint32_t>(v))); break;
        case 'u': std::snprintf(buf, sizeof buf, "%llu", static_cast<unsigned long long>(static_cast<std::uint32_t>(v))); break;
        default: std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(v)); break;
    }
    return buf;
}

}  // namespace

std::string FormatText(std::string_view pattern, std::initializer_list<FormatValue> args) {
    std::vector<const FormatValue*> list;
    for (const auto& a : args) list.push_back(&a);
    std::string out;
    size_t next = 0;
    for (size_t i = 0; i < pattern.size(); ++i) {
        char c = pattern[i];
        if (c != '%') { out += c; continue; }
        size_t start = i++;
        if (i < pattern.size() && pattern[i] == '%') { out += '%'; continue; }
        bool left = false;
        char fill = ' ';
        while (i < pattern.size() && (pattern[i] == '-' || pattern[i] == '0')) {
            if (pattern[i] == '-') left = true; else fill = '0';
            ++i;
        }
        int width = 0;
        while (i < pattern.size() && pattern[i] >= '0' && pattern[i] <= '9' && width < 1000) {
            width = width * 10 + (pattern[i] - '0');
            ++i;
        }
        if (i >= pattern.size()) { out.append(pattern.substr(start)); break; }
        char conv = pattern[i];
        if (conv != 's' && conv != 'd' && conv != 'u' && conv != 'x' && conv != 'X') {
            out.append(pattern.substr(start, i - start + 1));
            continue;
        }
        if (next >= list.size()) { out.append(pattern.substr(start, i - start + 1)); continue; }
        out += Pad(ToText(list[next++]->value, conv), width, left, fill);
    }
    return out;
}

}  // namespace core
