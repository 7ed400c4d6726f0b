// The embedded-file scanner on arbitrary executable files. Each record of the
// directory, followed here on its own as the format describes it, is found by
// its path with the offset and size it gives; a name outside the program's
// folder is left as it is.
#include <cctype>
#include <cstdint>
#include <set>
#include <string>

#include "fuzz_support.h"
#include "localization/assembly.h"

namespace {

std::uint64_t LittleEndian64(std::string_view bytes, std::size_t at) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return v;
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string program = fuzz::ScratchDir() + "/program";
    const std::string_view file = fuzz::AsText(data, size);
    fuzz::WriteFile(program, file);
    const localization::TAssemblyAnalyzer analyzer(program);

    const std::size_t marker = file.find(localization::TAssemblyAnalyzer::MarkerText());
    FUZZ_CHECK(analyzer.MarkerFound() == (marker != std::string_view::npos));
    const std::string elsewhere = "/elsewhere/xx/LC_MESSAGES/default.mo";
    const localization::TLocatedFile plain = analyzer.LocateFile(elsewhere);
    FUZZ_CHECK(plain.file == elsewhere && plain.offset == 0 && plain.size == 0);
    if (marker == std::string_view::npos || marker + 44 > file.size()) {
        FUZZ_CHECK(analyzer.EntryCount() == 0);
        return 0;
    }
    // Records: next record's position, data offset, data size, then the path
    // up to the next record. Only records whose paths need no cleaning are
    // followed here; the scan stops at the first path it has seen already.
    std::uint64_t position = LittleEndian64(file, marker + 36);
    std::set<std::string> seen;
    std::size_t followed = 0;
    while (position != 0 && position <= file.size() && file.size() - position >= 24) {
        const std::uint64_t next = LittleEndian64(file, position);
        if (next < position + 24 || next > file.size()) break;
        const std::string path(file.substr(position + 24, next - position - 24));
        if (path.empty() || static_cast<unsigned char>(path.front()) <= ' ' ||
            static_cast<unsigned char>(path.back()) <= ' ' || path.find('\\') != std::string::npos ||
            !seen.insert(Lower(path)).second)
            break;
        const localization::TLocatedFile located = analyzer.LocateFile(fuzz::ScratchDir() + "/" + path);
        FUZZ_CHECK(located.file == program);
        FUZZ_CHECK(located.offset == LittleEndian64(file, position + 8));
        FUZZ_CHECK(located.size == LittleEndian64(file, position + 16));
        ++followed;
        position = next;
    }
    FUZZ_CHECK(analyzer.EntryCount() >= followed);
    FUZZ_CHECK(analyzer.EntryCount() <= file.size() / 24);
    return 0;
}
