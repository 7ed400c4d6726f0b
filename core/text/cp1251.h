// The Windows-1251 (Cyrillic) code page of the program's own files and of the
// pump's identification bytes.
#pragma once

#include <string>
#include <string_view>

namespace core {

char16_t Cp1251ToUnicode(unsigned char byte);
// -1 when the code point has no byte in the code page.
int UnicodeToCp1251(char32_t codePoint);
std::string Cp1251ToUtf8(std::string_view bytes);
// Characters without a byte in the code page become '?'.
std::string Utf8ToCp1251(std::string_view utf8);

}  // namespace core
