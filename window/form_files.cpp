#include "window/form_files.h"

#include "core/platform/builtin_text.h"
#include "core/text/cp1251.h"
#include "core/platform/exception.h"
#include "core/platform/text_file.h"

namespace window {

std::string ReadFormFile(const std::string& name) {
    bool exceeded = false;
    const std::string bytes = core::ReadWholeTextFile(name, kMemoCapacity, &exceeded);
    if (exceeded) throw core::EInvalidOperation(core::LoadBuiltInText(&core::SMemoCapacity));
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r') {
            text += bytes[i];
            continue;
        }
        text += '\n';
        if (i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    }
    return core::Cp1251ToUtf8(text);
}

std::vector<std::string> FirstLines(std::string_view text, std::size_t count) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (lines.size() < count) {
        const std::size_t end = text.find('\n', start);
        lines.emplace_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return lines;
}

std::string_view Utf8Prefix(std::string_view utf8, std::size_t bytes) {
    if (bytes >= utf8.size()) return utf8;
    // Back off over continuation bytes to the start of the character that is cut.
    while (bytes > 0 && (static_cast<unsigned char>(utf8[bytes]) & 0xC0) == 0x80) --bytes;
    return utf8.substr(0, bytes);
}

}  // namespace window
