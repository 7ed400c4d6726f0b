#include "cli/terminal_text.h"

#include <cstdio>
#include <string_view>

#include "core/text/utf.h"

namespace cli {

namespace {

std::string HexEscape(unsigned value) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\x%02x", value);
    return buf;
}

// The length of the UTF-8 sequence its lead byte announces; 0 for no lead byte.
std::size_t AnnouncedLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    if ((lead & 0xF8) == 0xF0) return 4;
    return 0;
}

}  // namespace

std::string ForTerminal(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = AnnouncedLength(lead);
        const std::string_view sequence = std::string_view(text).substr(i, length);
        if (length == 0 || sequence.size() < length || !core::IsValidUtf8(sequence)) {
            out += HexEscape(lead);
            ++i;
            continue;
        }
        // U+0080..U+009F, the C1 controls, are C2 80..C2 9F.
        const bool c1 = lead == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
        if (lead == '\\') out += "\\\\";
        else if (lead == '\r') out += "\\r";
        else if (lead == '\n') out += "\\n";
        else if (lead == '\t') out += "\\t";
        else if (lead < 0x20 || lead == 0x7F) out += HexEscape(lead);
        else if (c1) out += HexEscape(static_cast<unsigned char>(text[i + 1]));
        else out.append(sequence);
        i += length;
    }
    return out;
}

}  // namespace cli
