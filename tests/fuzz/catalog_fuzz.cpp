// The catalog reader on arbitrary catalog files. A lookup gives back its key or
// a text that stands in the file; in a catalog whose source strings are sorted
// without repeats, every source string finds its own translation; a catalog
// refused once gives keys back from then on.
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/platform/exception.h"
#include "fuzz_support.h"
#include "localization/domain.h"

namespace {

struct Entry {
    std::string_view source, translation;
};

// The string table entries of a catalog as its header describes them, read
// here on their own; an entry pointing outside the file ends the list.
std::vector<Entry> Entries(std::string_view file) {
    auto word = [&](std::uint64_t at, bool swap, std::uint32_t& out) {
        if (at + 4 > file.size()) return false;
        std::memcpy(&out, file.data() + at, 4);
        if (swap) out = __builtin_bswap32(out);
        return true;
    };
    std::vector<Entry> entries;
    std::uint32_t magic, count, sources, translations;
    if (!word(0, false, magic) || (magic != 0x950412de && magic != 0xde120495)) return entries;
    const bool swap = magic == 0xde120495;
    if (!word(8, swap, count) || !word(12, swap, sources) || !word(16, swap, translations)) return entries;
    auto string = [&](std::uint64_t table, std::uint32_t i, std::string_view& out) {
        std::uint32_t length, offset;
        if (!word(table + 8ull * i, swap, length) || !word(table + 8ull * i + 4, swap, offset)) return false;
        if (std::uint64_t{offset} + length > file.size()) return false;
        out = file.substr(offset, length);
        return true;
    };
    for (std::uint32_t i = 0; i < count && i < 512; ++i) {
        Entry e;
        if (!string(sources, i, e.source) || !string(translations, i, e.translation)) break;
        entries.push_back(e);
    }
    return entries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string dir = [] {
        std::filesystem::create_directories(fuzz::ScratchDir() + "/xx/LC_MESSAGES");
        return fuzz::ScratchDir();
    }();
    const std::string_view file = fuzz::AsText(data, size);
    fuzz::WriteFile(dir + "/xx/LC_MESSAGES/fuzz.mo", file);

    localization::TDomain domain("fuzz");
    domain.SetDirectory(dir);
    domain.SetLanguage("xx");
    const std::vector<Entry> entries = Entries(file);
    std::vector<std::string> keys = {"", "Cannot open file %s", std::string(file.substr(0, 24))};
    for (const Entry& e : entries) keys.emplace_back(e.source);

    bool refused = false;
    try {
        domain.OpenCatalog();
    } catch (const core::Exception&) {
        refused = true;
    }
    // the file is there, so it is either taken or refused for good
    FUZZ_CHECK(refused ? !domain.IsOpen() && !domain.MaySearch() : domain.IsOpen());
    for (const std::string& key : keys) {
        std::string_view found = domain.LookUp(key);
        if (!domain.IsOpen()) FUZZ_CHECK(found.data() == key.data() && found.size() == key.size());
        FUZZ_CHECK(found == key || file.find(found) != std::string_view::npos);
    }
    if (!domain.IsOpen()) return 0;

    bool sorted = entries.size() == domain.StringCount();
    for (std::size_t i = 1; sorted && i < entries.size(); ++i) sorted = entries[i - 1].source < entries[i].source;
    if (sorted)
        for (const Entry& e : entries) FUZZ_CHECK(domain.LookUp(e.source) == e.translation);
    return 0;
}
