#include "core/text/short_text.h"

namespace core {

namespace {

constexpr std::string_view kEllipsis = "\xE2\x80\xA6";

bool StartsCharacter(char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }

std::size_t CountCharacters(std::string_view utf8) {
    std::size_t count = 0;
    for (const char c : utf8) count += StartsCharacter(c);
    return count;
}

// Byte offset of the character numbered `n`, or the size.
std::size_t OffsetOfCharacter(std::string_view utf8, std::size_t n) {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i)
        if (StartsCharacter(utf8[i]) && seen++ == n) return i;
    return utf8.size();
}

}  // namespace

std::string ShortenedEnd(std::string_view utf8, std::size_t maxChars) {
    const std::size_t count = CountCharacters(utf8);
    if (count <= maxChars || maxChars == 0) return std::string(utf8);
    return std::string(utf8.substr(0, OffsetOfCharacter(utf8, maxChars - 1))) + std::string(kEllipsis);
}

std::string ShortenedStart(std::string_view utf8, std::size_t maxChars) {
    const std::size_t count = CountCharacters(utf8);
    if (count <= maxChars || maxChars == 0) return std::string(utf8);
    return std::string(kEllipsis) + std::string(utf8.substr(OffsetOfCharacter(utf8, count - (maxChars - 1))));
}

std::string WithFinalPeriod(std::string message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > static_cast<unsigned char>('.'))
        message += '.';
    return message;
}

}  // namespace core
