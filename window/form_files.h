// The window's own files (port.ini, caption.txt, the help texts), read as the
// text areas take them: decoded to UTF-8 as users save them (Windows-1251,
// UTF-8, UTF-16 with its mark; core/user_text.h), every line end turned into
// "\n", the text ending at a zero character.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace window {

// Largest file text a text area takes. A larger file is refused with
// EInvalidOperation "Text exceeds memo capacity" instead of stalling the
// window on an enormous layout.
constexpr std::size_t kMemoCapacity = 1024 * 1024;

// Reads the file by name (EFOpenError "Cannot open file %s" when it cannot
// be read). Raises EInvalidOperation when the text is beyond kMemoCapacity.
std::string ReadFormFile(const std::string& name);

// The first `count` lines of a text read by ReadFormFile, fewer when it has
// fewer; a text ending in a line end has an empty last line. Only the lines
// taken are looked at.
std::vector<std::string> FirstLines(std::string_view text, std::size_t count);

// The longest beginning of `utf8` of at most `bytes` bytes that does not cut
// a character.
std::string_view Utf8Prefix(std::string_view utf8, std::size_t bytes);

}  // namespace window
