// UTF-8 text at the wide (W) calls of the Windows build: names and messages
// are UTF-8 inside the program and UTF-16 at the system.
#pragma once

#include <string>
#include <string_view>

#include "core/text/utf.h"

namespace core {

inline std::wstring WideText(std::string_view utf8) {
    const std::u16string wide = Utf8ToUtf16(utf8);
    return std::wstring(wide.begin(), wide.end());
}

inline std::string NarrowText(std::wstring_view wide) {
    return Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
}

}  // namespace core
