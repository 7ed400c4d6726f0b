// Texts cut to a width a message box can show: a name typed into a file may
// be thousands of characters long, and a box grows with its longest word.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace core {

// At most `maxChars` characters of UTF-8 text: the beginning, with "…" in
// place of the rest.
std::string ShortenedEnd(std::string_view utf8, std::size_t maxChars);
// The same keeping the end, "…" in place of the beginning (for folders,
// whose last names say the most).
std::string ShortenedStart(std::string_view utf8, std::size_t maxChars);

// The message with a final "." unless its last byte is "." or below, as the
// error box adds it.
std::string WithFinalPeriod(std::string message);

}  // namespace core
