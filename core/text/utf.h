// UTF-8 / UTF-16 conversion. The program's own text is UTF-8; wide text
// appears only where built-in texts are translated.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace core {

bool IsValidUtf8(std::string_view bytes);
// Strict decoding: nullopt when the bytes are not valid UTF-8 (overlongs,
// surrogates and code points above U+10FFFF are invalid).
std::optional<std::u16string> DecodeUtf8(std::string_view bytes);
// Lenient decoding for text already known to be ours: invalid bytes become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view bytes);
// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace core
