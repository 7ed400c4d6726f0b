#include "core/stores/store_ini_index.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <random>
#include <utility>

#include "core/stores/store_file.h"
#include "core/stores/store_text.h"

namespace core {

static_assert(kMaxStoreFileBytes < IniIndex::kNone, "offsets of a readable file fit 32 bits");

namespace {

char Fold(char c) noexcept { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

struct SipKey {
    std::uint64_t k0, k1;
};

// Drawn once per process, so that no file can be written to collide in it.
const SipKey& ProcessKey() {
    static const SipKey key = [] {
        try {
            std::random_device device;
            const auto word = [&] { return (std::uint64_t{device()} << 32) | device(); };
            return SipKey{word(), word()};
        } catch (...) {
            // No source of randomness: the clock and the address space's layout still differ each run.
            const auto now = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
            return SipKey{now, reinterpret_cast<std::uintptr_t>(&now) * 0x9E3779B97F4A7C15ull};
        }
    }();
    return key;
}

constexpr std::uint64_t Rotl(std::uint64_t x, int b) noexcept { return (x << b) | (x >> (64 - b)); }

struct SipState {
    std::uint64_t v0, v1, v2, v3;
    void Round() noexcept {
        v0 += v1, v1 = Rotl(v1, 13), v1 ^= v0, v0 = Rotl(v0, 32);
        v2 += v3, v3 = Rotl(v3, 16), v3 ^= v2;
        v0 += v3, v3 = Rotl(v3, 21), v3 ^= v0;
        v2 += v1, v1 = Rotl(v1, 17), v1 ^= v2, v2 = Rotl(v2, 32);
    }
    void Absorb(std::uint64_t m) noexcept {
        v3 ^= m;
        Round();
        v0 ^= m;
    }
};

// SipHash-1-3 under the process's key, `seed` folded into it. Agrees with
// SameName: names equal but for ASCII letter case hash alike.
std::uint64_t NameHash(std::string_view name, std::uint64_t seed) noexcept {
    const SipKey& key = ProcessKey();
    const std::uint64_t k0 = key.k0 ^ seed, k1 = key.k1;
    SipState s{k0 ^ 0x736f6d6570736575ull, k1 ^ 0x646f72616e646f6dull, k0 ^ 0x6c7967656e657261ull,
               k1 ^ 0x7465646279746573ull};
    std::uint64_t word = 0;
    for (std::size_t i = 0; i < name.size(); ++i) {
        word |= std::uint64_t{static_cast<unsigned char>(Fold(name[i]))} << (8 * (i % 8));
        if (i % 8 == 7) s.Absorb(std::exchange(word, 0));
    }
    s.Absorb(word | (std::uint64_t{name.size()} << 56));
    s.v2 ^= 0xff;
    for (int i = 0; i < 3; ++i) s.Round();
    return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

std::uint64_t KeyHash(std::uint32_t section, std::string_view key) noexcept {
    return NameHash(key, (section + 1ull) * 0x9E3779B97F4A7C15ull);
}

// A table at most three quarters full keeps probe runs short.
template <class Slot>
bool NeedsRoom(const std::vector<Slot>& table, std::size_t count) {
    return (count + 1) * 4 > table.size() * 3;
}

}  // namespace

IniLine ParseIniLine(std::string_view text, std::size_t at) {
    std::size_t end = text.find_first_of("\r\n", at);
    IniLine line{};
    if (end == std::string_view::npos) {
        end = text.size();
        line.next = end;
    } else {
        line.next = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
    line.text = text.substr(at, end - at);
    line.kind = IniLine::Other;
    std::string_view t = TrimBlanks(line.text);
    std::size_t close = t.find(']');
    if (!t.empty() && t.front() == '[' && close != std::string_view::npos) {
        line.kind = IniLine::Section;
        line.name = TrimBlanks(t.substr(1, close - 1));
    } else if (!t.empty() && t.front() != ';') {
        std::size_t eq = t.find('=');
        if (eq != std::string_view::npos && !TrimBlanks(t.substr(0, eq)).empty()) {
            line.kind = IniLine::Key;
            line.name = TrimBlanks(t.substr(0, eq));
            line.raw = line.text.substr(line.text.find('=') + 1);
        }
    }
    return line;
}

void IniIndex::Build(std::string_view text) {
    text_ = text;
    sections_.clear();
    names_.assign(16, NameSlot{});
    nameCount_ = 0;
    keys_.assign(16, KeySlot{});
    keyCount_ = 0;
    std::uint32_t current = kNone;  // keys before the first section belong to none
    ForEachIniLine(text, 0, text.size(), [&](const IniLine& line, std::size_t at) {
        if (line.kind == IniLine::Section) {
            const auto index = static_cast<std::uint32_t>(sections_.size());
            sections_.push_back(SectionLine{static_cast<std::uint32_t>(at), index, kNone});
            NameSlot& slot = names_[NameSlotOf(line.name)];
            if (slot.first == kNone) {
                slot = NameSlot{index, index};
                if (NeedsRoom(names_, ++nameCount_)) GrowNames();
            } else {
                sections_[slot.last].nextSame = index;
                slot.last = index;
                sections_[index].first = slot.first;
            }
            current = sections_[index].first;
        } else if (line.kind == IniLine::Key && current != kNone) {
            AddKey(current, static_cast<std::uint32_t>(at), line.name);
        }
    });
}

std::uint64_t IniNameHash(std::string_view name) { return NameHash(name, 0); }

std::size_t IniIndex::NameSlotOf(std::string_view name) const {
    const std::size_t mask = names_.size() - 1;
    for (std::size_t slot = IniNameHash(name) & mask;; slot = (slot + 1) & mask) {
        const std::uint32_t first = names_[slot].first;
        if (first == kNone) return slot;
        if (SameName(ParseIniLine(text_, sections_[first].at).name, name)) return slot;
    }
}

std::uint32_t IniIndex::SectionOf(std::uint32_t at) const {
    const auto after = std::upper_bound(sections_.begin(), sections_.end(), at,
                                        [](std::uint32_t offset, const SectionLine& s) { return offset < s.at; });
    return std::prev(after)->first;
}

std::size_t IniIndex::KeySlotOf(std::uint32_t section, std::string_view key, std::uint32_t hash) const {
    const std::size_t mask = keys_.size() - 1;
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const KeySlot& each = keys_[slot];
        if (each.at == kNone) return slot;
        if (each.hash == hash && SameName(ParseIniLine(text_, each.at).name, key) && SectionOf(each.at) == section)
            return slot;
    }
}

void IniIndex::AddKey(std::uint32_t section, std::uint32_t at, std::string_view key) {
    const auto hash = static_cast<std::uint32_t>(KeyHash(section, key));
    const std::size_t slot = KeySlotOf(section, key, hash);
    if (keys_[slot].at != kNone) return;  // the first of equal keys is the one read and written
    keys_[slot] = KeySlot{at, hash};
    if (!NeedsRoom(keys_, ++keyCount_)) return;
    std::vector<KeySlot> old(keys_.size() * 2);
    std::swap(old, keys_);
    const std::size_t mask = keys_.size() - 1;
    for (const KeySlot& each : old) {
        if (each.at == kNone) continue;
        std::size_t free = each.hash & mask;
        while (keys_[free].at != kNone) free = (free + 1) & mask;
        keys_[free] = each;
    }
}

void IniIndex::GrowNames() {
    std::vector<NameSlot> old(names_.size() * 2);
    std::swap(old, names_);
    for (const NameSlot& each : old)
        if (each.first != kNone) names_[NameSlotOf(ParseIniLine(text_, sections_[each.first].at).name)] = each;
}

std::size_t IniIndex::FindSection(std::string_view name) const {
    if (names_.empty()) return npos;
    const std::uint32_t first = names_[NameSlotOf(name)].first;
    return first == kNone ? npos : first;
}

std::size_t IniIndex::SectionEnd(std::size_t section) const {
    return section + 1 < sections_.size() ? sections_[section + 1].at : text_.size();
}

std::size_t IniIndex::FindKey(std::string_view section, std::string_view key) const {
    const std::size_t first = FindSection(section);
    if (first == npos) return npos;
    const auto owner = static_cast<std::uint32_t>(first);
    const std::uint32_t at = keys_[KeySlotOf(owner, key, static_cast<std::uint32_t>(KeyHash(owner, key)))].at;
    return at == kNone ? npos : at;
}

}  // namespace core
