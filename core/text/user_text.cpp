#include "core/text/user_text.h"

#include "core/text/cp1251.h"
#include "core/text/utf.h"

namespace core {

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf16BeMark = "\xFE\xFF";

std::string_view UpToZero(std::string_view bytes) { return bytes.substr(0, bytes.find('\0')); }

std::string DecodeUtf16(std::string_view bytes, bool littleEndian) {
    std::u16string text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto low = static_cast<unsigned char>(bytes[littleEndian ? i : i + 1]);
        const auto high = static_cast<unsigned char>(bytes[littleEndian ? i + 1 : i]);
        const auto unit = static_cast<char16_t>(high << 8 | low);
        if (unit == 0) break;
        text += unit;
    }
    return Utf16ToUtf8(text);
}

// Cyrillic in UTF-8 begins with a lead byte D0..D3 (U+0400..U+04FF).
bool HasCyrillicLeadByte(std::string_view bytes) {
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0xD0 && static_cast<unsigned char>(c) <= 0xD3) return true;
    return false;
}

// Russian text in Windows-1251 is letters wherever a byte is above 0x7F
// (А..я at C0..FF, Ё and ё), and the capitals Р and С (D0, D1) are few. In
// UTF-8 every Cyrillic letter is D0 or D1 followed by a byte of 80..BF, most
// of which are no letters there.
bool PlausibleCp1251(std::string_view bytes) {
    std::size_t high = 0, letters = 0, leads = 0;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) continue;
        ++high;
        if (b >= 0xC0 || b == 0xA8 || b == 0xB8) ++letters;
        if (b == 0xD0 || b == 0xD1) ++leads;
    }
    return letters * 5 >= high * 4 && leads * 5 < high * 2;
}

}  // namespace

bool StartsWithUtf16Mark(std::string_view bytes) {
    return bytes.starts_with(kUtf16LeMark) || bytes.starts_with(kUtf16BeMark);
}

std::string DecodeUserText(std::string_view bytes) {
    if (bytes.starts_with(kUtf16LeMark)) return DecodeUtf16(bytes.substr(2), true);
    if (bytes.starts_with(kUtf16BeMark)) return DecodeUtf16(bytes.substr(2), false);
    bytes = UpToZero(bytes);
    if (bytes.starts_with(kUtf8Mark)) return Utf16ToUtf8(Utf8ToUtf16(bytes.substr(kUtf8Mark.size())));
    if (HasCyrillicLeadByte(bytes) && !PlausibleCp1251(bytes) && IsValidUtf8(bytes)) return std::string(bytes);
    return Cp1251ToUtf8(bytes);
}

}  // namespace core
