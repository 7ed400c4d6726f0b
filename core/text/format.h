// printf-like formatting of message templates whose arguments are known only
// at run time (templates may come translated from a catalog, so the number
// and kind of their directives is not trusted).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

namespace core {

using FormatArg = std::variant<std::int64_t, std::string>;

struct FormatValue {
    FormatValue(int v) : value(std::int64_t{v}) {}
    FormatValue(long v) : value(std::int64_t{v}) {}
    FormatValue(long long v) : value(std::int64_t{v}) {}
    FormatValue(unsigned v) : value(std::int64_t{v}) {}
    FormatValue(const char* v) : value(std::string(v ? v : "")) {}
    FormatValue(std::string v) : value(std::move(v)) {}
    FormatValue(std::string_view v) : value(std::string(v)) {}
    FormatArg value;
};

// Supports %s, %d, %u, %x, %X with optional width and "-" / "0" flags, and %%.
// A directive without a matching argument, or with an argument of the other
// kind, is rendered from what is there (never undefined behaviour): a missing
// argument leaves the directive in the text as written.
std::string FormatText(std::string_view pattern, std::initializer_list<FormatValue> args);

}  // namespace core
