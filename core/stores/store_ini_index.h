// The ini-file store's view of its text: where each line, section and key
// lies, without copying any of them.
//
// A line is parsed from the text whenever it is needed. Only "[section]"
// lines are listed (12 bytes each), and only the first line of each distinct
// section-and-key pair is entered in a hash table, so the index of a file
// costs a small multiple of the file at most and is built in one pass;
// lookups do not depend on the file's length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace core {

struct IniLine {
    enum Kind { Other, Section, Key };
    std::string_view text;  // without its line end
    std::size_t next;       // where the next line starts
    Kind kind;
    std::string_view name;  // section or key name, trimmed
    std::string_view raw;   // of a key line: everything after the first "="
};

// Lines end at CR LF, a lone LF or a lone CR; a final line end opens no line.
IniLine ParseIniLine(std::string_view text, std::size_t at);

// Calls f(line, at) for every line that starts in [from, to).
template <class F>
void ForEachIniLine(std::string_view text, std::size_t from, std::size_t to, F f) {
    for (std::size_t at = from; at < to;) {
        const IniLine line = ParseIniLine(text, at);
        f(line, at);
        at = line.next;
    }
}

// The hash of a section name in this process. Keyed with a secret drawn once
// per process, so that no file can be made whose names all collide.
std::uint64_t IniNameHash(std::string_view name);

class IniIndex {
public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    struct SectionLine {
        std::uint32_t at;        // where its line starts
        std::uint32_t first;     // the first section of the same name
        std::uint32_t nextSame;  // the next section of the same name, or none
    };
    static constexpr std::uint32_t kNone = UINT32_MAX;

    // `text` must stay unchanged while the index is used.
    void Build(std::string_view text);

    const std::vector<SectionLine>& Sections() const { return sections_; }
    // The first section of that name, as an index into Sections().
    std::size_t FindSection(std::string_view name) const;
    // Where the section's lines end: at the next section or at the end.
    std::size_t SectionEnd(std::size_t section) const;
    // The first line of the key in any section of that name, in file order.
    std::size_t FindKey(std::string_view section, std::string_view key) const;

private:
    struct KeySlot {
        std::uint32_t at = kNone;  // the key line
        std::uint32_t hash = 0;    // of its section and name, so that neither is read again to place it
    };
    struct NameSlot {
        std::uint32_t first = kNone;
        std::uint32_t last = kNone;
    };

    std::size_t NameSlotOf(std::string_view name) const;
    // The first section of the name of the section a key line lies in.
    std::uint32_t SectionOf(std::uint32_t at) const;
    std::size_t KeySlotOf(std::uint32_t section, std::string_view key, std::uint32_t hash) const;
    void AddKey(std::uint32_t section, std::uint32_t at, std::string_view key);
    void GrowNames();

    std::string_view text_;
    std::vector<SectionLine> sections_;
    std::vector<NameSlot> names_;  // open addressing, a power of two long
    std::size_t nameCount_ = 0;
    std::vector<KeySlot> keys_;  // open addressing, a power of two long
    std::size_t keyCount_ = 0;
};

}  // namespace core
