// Text files in the program's code page, read and written as the window reads
// its caption and help files and writes port.ini: the text ends at the first
// zero byte and at the size limit, lines split at CR LF, LF and CR alike, and
// Windows-1251 text comes back byte for byte through UTF-8.
#include <cstdint>
#include <string>

#include "core/text/cp1251.h"
#include "core/platform/text_file.h"
#include "core/text/utf.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string name = fuzz::ScratchDir() + "/caption.txt";
    const std::string_view bytes = fuzz::AsText(data, size);
    fuzz::WriteFile(name, bytes);

    const std::string_view whole = bytes.substr(0, bytes.find('\0'));
    const std::string text = core::ReadWholeTextFile(name);
    FUZZ_CHECK(text == whole);
    const std::size_t limit = size == 0 ? 0 : data[0];
    bool exceeded = true;
    FUZZ_CHECK(core::ReadWholeTextFile(name, limit, &exceeded) == whole.substr(0, limit));
    FUZZ_CHECK(exceeded == (whole.size() > limit));

    // CR LF between the lines, and after the last one when the text ended a line.
    std::string joined;
    for (const std::string& line : core::SplitLines(text)) {
        FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
        joined += line + "\r\n";
    }
    if (!text.empty() && text.back() != '\r' && text.back() != '\n') joined.resize(joined.size() - 2);
    const std::string normalized = core::NormalizeLineEnds(text);
    FUZZ_CHECK(normalized == joined);

    const std::string utf8 = core::Cp1251ToUtf8(text);
    FUZZ_CHECK(core::IsValidUtf8(utf8));
    FUZZ_CHECK(core::Utf8ToCp1251(utf8) == text);
    FUZZ_CHECK(core::Utf8ToCp1251(bytes).size() <= bytes.size());

    core::WriteWholeTextFile(name, core::Utf8ToCp1251(core::Cp1251ToUtf8(normalized)));
    FUZZ_CHECK(fuzz::ReadFile(name) == normalized);
    return 0;
}
