#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <limits>
#include <set>
#include <utility>

#include "core/builtin_text.h"
#include "core/exception.h"
#include "core/format.h"
#include "core/store_file.h"
#include "core/store_ini_file.h"
#include "core/store_text.h"

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

// Lines end at CR LF, a lone LF or a lone CR; a final line end opens no line.
std::vector<std::string> SplitFileLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
    return lines;
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
    std::optional<std::string> content = ReadStoreFile(fileName_);
    if (!content) return;
    std::size_t firstEnd = content->find_first_of("\r\n");
    if (firstEnd != std::string::npos && (*content)[firstEnd] == '\r') lineEnd_ = "\r\n";
    for (std::string& text : SplitFileLines(*content)) {
        Line line{std::move(text), std::nullopt, std::nullopt};
        std::string_view t = TrimBlanks(line.text);
        std::size_t close = t.find(']');
        if (!t.empty() && t.front() == '[' && close != std::string_view::npos) {
            line.section = std::string(TrimBlanks(t.substr(1, close - 1)));
        } else if (!t.empty() && t.front() != ';') {
            std::size_t eq = t.find('=');
            std::string_view key = eq == std::string_view::npos ? std::string_view{} : TrimBlanks(t.substr(0, eq));
            if (!key.empty()) line.key = std::string(key);
        }
        lines_.push_back(std::move(line));
    }
}

std::vector<std::size_t> TIniFile::SectionStarts(const std::string& section) const {
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < lines_.size(); ++i)
        if (lines_[i].section && SameName(*lines_[i].section, section)) starts.push_back(i);
    return starts;
}

std::size_t TIniFile::SectionEnd(std::size_t start) const {
    std::size_t i = start + 1;
    while (i < lines_.size() && !lines_[i].section) ++i;
    return i;
}

std::optional<std::string> TIniFile::Find(const std::string& section, const std::string& key) const {
    for (std::size_t start : SectionStarts(section)) {
        for (std::size_t i = start + 1, end = SectionEnd(start); i < end; ++i) {
            if (lines_[i].key && SameName(*lines_[i].key, key)) {
                const std::string& text = lines_[i].text;
                return DecodeValue(std::string_view(text).substr(text.find('=') + 1));
            }
        }
    }
    return std::nullopt;
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
    const std::vector<std::size_t> starts = SectionStarts(section);
    for (std::size_t start : starts) {
        for (std::size_t i = start + 1, end = SectionEnd(start); i < end; ++i) {
            if (lines_[i].key && SameName(*lines_[i].key, key)) {
                std::string old = std::exchange(lines_[i].text, *lines_[i].key + "=" + EncodeValue(value));
                if (!Persist()) {
                    lines_[i].text = std::move(old);
                    RaiseWriteError();
                }
                return;
            }
        }
    }
    // A new key goes after the last key of the first section, before trailing
    // comments and blank lines; a new section goes at the end.
    std::vector<Line> added;
    std::size_t at = lines_.size();
    if (!starts.empty()) {
        at = starts.front() + 1;
        for (std::size_t i = at, end = SectionEnd(starts.front()); i < end; ++i)
            if (lines_[i].key) at = i + 1;
    } else {
        if (!lines_.empty() && !TrimBlanks(lines_.back().text).empty()) added.push_back(Line{});
        added.push_back(Line{"[" + section + "]", section, std::nullopt});
    }
    added.push_back(Line{key + "=" + EncodeValue(value), std::nullopt, key});
    const auto first = lines_.begin() + static_cast<std::ptrdiff_t>(at);
    lines_.insert(first, std::make_move_iterator(added.begin()), std::make_move_iterator(added.end()));
    if (!Persist()) {
        const auto from = lines_.begin() + static_cast<std::ptrdiff_t>(at);
        lines_.erase(from, from + static_cast<std::ptrdiff_t>(added.size()));
        RaiseWriteError();
    }
}

bool TIniFile::SectionExists(const std::string& section) const { return !SectionStarts(section).empty(); }

bool TIniFile::ValueExists(const std::string& section, const std::string& key) const {
    return Find(section, key).has_value();
}

std::vector<std::string> TIniFile::ReadSections() const {
    std::vector<std::string> names;
    std::set<std::string_view, NameLess> seen;
    for (const Line& line : lines_)
        if (line.section && seen.insert(*line.section).second) names.push_back(*line.section);
    return names;
}

std::vector<std::string> TIniFile::ReadSection(const std::string& section) const {
    std::vector<std::string> keys;
    std::set<std::string_view, NameLess> seen;
    for (std::size_t start : SectionStarts(section)) {
        for (std::size_t i = start + 1, end = SectionEnd(start); i < end; ++i) {
            const auto& key = lines_[i].key;
            if (key && seen.insert(*key).second) keys.push_back(*key);
        }
    }
    return keys;
}

void TIniFile::DeleteKey(const std::string& section, const std::string& key) {
    std::vector<bool> drop(lines_.size(), false);
    bool changed = false;
    for (std::size_t start : SectionStarts(section)) {
        for (std::size_t i = start + 1, end = SectionEnd(start); i < end; ++i)
            if (lines_[i].key && SameName(*lines_[i].key, key)) drop[i] = changed = true;
    }
    if (changed) RemoveLines(drop);
}

void TIniFile::EraseSection(const std::string& section) {
    std::vector<bool> drop(lines_.size(), false);
    const std::vector<std::size_t> starts = SectionStarts(section);
    if (starts.empty()) return;
    for (std::size_t start : starts)
        std::fill(drop.begin() + static_cast<std::ptrdiff_t>(start),
                  drop.begin() + static_cast<std::ptrdiff_t>(SectionEnd(start)), true);
    RemoveLines(drop);
}

void TIniFile::RemoveLines(const std::vector<bool>& drop) {
    std::vector<Line> kept;
    for (std::size_t i = 0; i < lines_.size(); ++i)
        if (!drop[i]) kept.push_back(lines_[i]);
    std::swap(lines_, kept);
    if (!Persist()) {
        std::swap(lines_, kept);
        RaiseWriteError();
    }
}

bool TIniFile::Persist() const {
    std::string content;
    for (const Line& line : lines_) {
        content += line.text;
        content += lineEnd_;
    }
    return ReplaceStoreFile(fileName_, content);
}

void TIniFile::RaiseWriteError() const {
    throw EIniFileException(FormatText(LoadBuiltInText(&SIniFileWriteError), {fileName_}));
}

}  // namespace core
