// Small text helpers shared by the settings stores.
#pragma once

#include <string>
#include <string_view>

namespace core {

// Equality and ordering of names without regard to ASCII letter case, the way
// store sections, keys and values are named.
bool SameName(std::string_view a, std::string_view b) noexcept;
struct NameLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept;
};

// `text` without the spaces and tabs around it.
std::string_view TrimBlanks(std::string_view text) noexcept;

}  // namespace core
