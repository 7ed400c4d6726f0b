#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <limits>
#include <set>
#include <utility>

#include "core/platform/builtin_text.h"
#include "core/platform/exception.h"
#include "core/text/format.h"
#include "core/stores/store_file.h"
#include "core/stores/store_ini_file.h"
#include "core/stores/store_text.h"

namespace core {

namespace {

// The value as read back: blanks trimmed, then one pair of enclosing quotes dropped.
std::string DecodeValue(std::string_view raw) {
    std::string_view v = TrimBlanks(raw);
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
    return std::string(v);
}

std::string EncodeValue(const std::string& value) {
    return DecodeValue(value) == value ? value : "\"" + value + "\"";
}

bool HasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

bool ValidKey(std::string_view key) {
    return !key.empty() && TrimBlanks(key) == key && key.find('=') == std::string_view::npos && !HasLineBreak(key) &&
           key.front() != '[' && key.front() != ';';
}

bool ValidSection(std::string_view section) {
    return TrimBlanks(section) == section && section.find(']') == std::string_view::npos && !HasLineBreak(section);
}

std::optional<std::int32_t> ParseInteger(std::string_view text) {
    text = TrimBlanks(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    } else if (text.size() > 1 && text[0] == '$') {
        base = 16;
        text.remove_prefix(1);
    }
    if (text.empty() || text.size() > 12) return std::nullopt;
    std::int64_t value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return std::nullopt;
        value = value * base + digit;
    }
    if (base == 16) {
        // Hexadecimal spells the 32 bits, as "$FFFFFFFF" for -1.
        if (value > 0xFFFFFFFFLL) return std::nullopt;
        auto bits = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
        return negative ? static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(bits)) : bits;
    }
    if (negative) value = -value;
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

}  // namespace

TIniFile::TIniFile(std::string fileName) : fileName_(std::move(fileName)) {
    if (std::optional<std::string> content = ReadStoreFile(fileName_)) text_ = std::move(*content);
    std::size_t firstEnd = text_.find_first_of("\r\n");
    if (firstEnd != std::string::npos && text_[firstEnd] == '\r') lineEnd_ = "\r\n";
    index_.Build(text_);
}

template <class F>
void TIniFile::ForEachLineIn(const std::string& section, F f) const {
    const auto& sections = index_.Sections();
    for (std::size_t s = index_.FindSection(section); s != IniIndex::npos;) {
        ForEachIniLine(text_, ParseIniLine(text_, sections[s].at).next, index_.SectionEnd(s), f);
        s = sections[s].nextSame == IniIndex::kNone ? IniIndex::npos : sections[s].nextSame;
    }
}

std::optional<std::string> TIniFile::Find(const std::string& section, const std::string& key) const {
    const std::size_t at = index_.FindKey(section, key);
    if (at == IniIndex::npos) return std::nullopt;
    return DecodeValue(ParseIniLine(text_, at).raw);
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key, const std::string& defaultValue) {
    return Find(section, key).value_or(defaultValue);
}

std::int32_t TIniFile::ReadInteger(const std::string& section, const std::string& key, std::int32_t defaultValue) {
    std::optional<std::string> text = Find(section, key);
    if (!text) return defaultValue;
    return ParseInteger(*text).value_or(defaultValue);
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, std::int32_t value) {
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
    if (!ValidSection(section) || !ValidKey(key) || HasLineBreak(value)) RaiseWriteError();
    if (const std::size_t at = index_.FindKey(section, key); at != IniIndex::npos) {
        const IniLine line = ParseIniLine(text_, at);
        Rewrite({{at, line.next, std::string(line.name) + "=" + EncodeValue(value) + lineEnd_}});
        return;
    }
    // A new key goes after the last key of the first section, before trailing
    // comments and blank lines; a new section goes at the end.
    const std::string added = key + "=" + EncodeValue(value) + lineEnd_;
    if (const std::size_t first = index_.FindSection(section); first != IniIndex::npos) {
        std::size_t at = ParseIniLine(text_, index_.Sections()[first].at).next;
        ForEachIniLine(text_, at, index_.SectionEnd(first), [&at](const IniLine& line, std::size_t) {
            if (line.kind == IniLine::Key) at = line.next;
        });
        Rewrite({{at, at, added}});
        return;
    }
    std::string_view rest(text_);
    if (rest.ends_with("\r\n")) rest.remove_suffix(2);
    else if (rest.ends_with('\r') || rest.ends_with('\n')) rest.remove_suffix(1);
    const std::size_t lastLine = rest.find_last_of("\r\n");
    const bool blankLast = TrimBlanks(lastLine == std::string_view::npos ? rest : rest.substr(lastLine + 1)).empty();
    const std::string gap = text_.empty() || blankLast ? "" : lineEnd_;
    Rewrite({{text_.size(), text_.size(), gap + "[" + section + "]" + lineEnd_ + added}});
}

bool TIniFile::SectionExists(const std::string& section) const { return index_.FindSection(section) != IniIndex::npos; }

bool TIniFile::ValueExists(const std::string& section, const std::string& key) const {
    return index_.FindKey(section, key) != IniIndex::npos;
}

std::vector<std::string> TIniFile::ReadSections() const {
    std::vector<std::string> names;
    const auto& sections = index_.Sections();
    for (std::size_t s = 0; s < sections.size(); ++s)
        if (sections[s].first == s) names.emplace_back(ParseIniLine(text_, sections[s].at).name);
    return names;
}

std::vector<std::string> TIniFile::ReadSection(const std::string& section) const {
    std::vector<std::string> keys;
    std::set<std::string_view, NameLess> seen;
    ForEachLineIn(section, [&](const IniLine& line, std::size_t) {
        if (line.kind == IniLine::Key && seen.insert(line.name).second) keys.emplace_back(line.name);
    });
    return keys;
}

void TIniFile::DeleteKey(const std::string& section, const std::string& key) {
    std::vector<Splice> drop;
    ForEachLineIn(section, [&](const IniLine& line, std::size_t at) {
        if (line.kind == IniLine::Key && SameName(line.name, key)) drop.push_back(Splice{at, line.next, {}});
    });
    if (!drop.empty()) Rewrite(drop);
}

void TIniFile::EraseSection(const std::string& section) {
    std::vector<Splice> drop;
    const auto& sections = index_.Sections();
    for (std::size_t s = index_.FindSection(section); s != IniIndex::npos;) {
        drop.push_back(Splice{sections[s].at, index_.SectionEnd(s), {}});
        s = sections[s].nextSame == IniIndex::kNone ? IniIndex::npos : sections[s].nextSame;
    }
    if (!drop.empty()) Rewrite(drop);
}

void TIniFile::Rewrite(const std::vector<Splice>& splices) {
    std::string content;
    content.reserve(text_.size() + 64);
    auto copyLines = [&](std::size_t from, std::size_t to) {
        ForEachIniLine(text_, from, to, [&](const IniLine& line, std::size_t) {
            content += line.text;
            content += lineEnd_;
        });
    };
    std::size_t done = 0;
    for (const Splice& splice : splices) {
        copyLines(done, splice.from);
        content += splice.lines;
        done = splice.to;
    }
    copyLines(done, text_.size());
    if (content.size() >= IniIndex::kNone || !ReplaceStoreFile(fileName_, content)) RaiseWriteError();
    text_ = std::move(content);
    index_.Build(text_);
}

void TIniFile::RaiseWriteError() const {
    throw EIniFileException(FormatText(LoadBuiltInText(&SIniFileWriteError), {fileName_}));
}

}  // namespace core
