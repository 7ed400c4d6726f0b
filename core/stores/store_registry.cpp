#include <cstring>
#include <utility>

#include "core/platform/builtin_text.h"
#include "core/platform/exception.h"
#include "core/text/format.h"
#include "core/stores/store_file.h"
#include "core/stores/store_registry_tree.h"

namespace core {

namespace {

constexpr const char* kFileHeader = "pumpdiag registry 1";
constexpr const char* kHexDigits = "0123456789abcdef";

[[noreturn]] void RaiseRegistryError(const BuiltInText& text, const std::string& name) {
    throw ERegistryException(FormatText(LoadBuiltInText(&text), {name}));
}

bool NeedsEscape(unsigned char c) {
    return c <= 0x20 || c >= 0x7F || c == '%' || c == '=' || c == '[' || c == ']' || c == '\\';
}

std::string EscapeName(std::string_view name) {
    std::string out;
    for (unsigned char c : name) {
        if (NeedsEscape(c)) {
            out += '%';
            out += kHexDigits[c >> 4];
            out += kHexDigits[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::string> UnescapeName(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            if (NeedsEscape(static_cast<unsigned char>(text[i]))) return std::nullopt;
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return std::nullopt;
        int hi = HexDigit(text[i + 1]), lo = HexDigit(text[i + 2]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return out;
}

std::string ToHex(std::string_view data) {
    std::string out;
    for (unsigned char c : data) {
        out += kHexDigits[c >> 4];
        out += kHexDigits[c & 15];
    }
    return out;
}

std::optional<std::string> FromHex(std::string_view text) {
    if (text.size() % 2 != 0) return std::nullopt;
    std::string out;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        int hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out += static_cast<char>(hi * 16 + lo);
    }
    return out;
}

// Keys nest at most this deep, which also bounds the recursion over the tree.
constexpr std::size_t kMaxKeyDepth = 512;

// Splits a path at "\"; a trailing "\" is allowed, an empty part is not.
std::optional<std::vector<std::string>> SplitPath(std::string_view path) {
    std::vector<std::string> parts;
    if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    if (path.empty()) return parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t end = path.find('\\', start);
        std::string_view part = path.substr(start, end == std::string_view::npos ? path.npos : end - start);
        if (part.empty() || parts.size() == kMaxKeyDepth) return std::nullopt;
        parts.emplace_back(part);
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

std::string JoinPath(const std::vector<std::string>& parts, const char* separator) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i) out += separator;
        out += parts[i];
    }
    return out;
}

}  // namespace

// ---- store -----------------------------------------------------------------

TRegistryStore::TRegistryStore(std::string fileName) : fileName_(std::move(fileName)) {
    if (fileName_.empty()) return;
    std::optional<std::string> content = ReadStoreFile(fileName_);
    if (content) Parse(*content);
}

void TRegistryStore::Parse(const std::string& content) {
    auto fail = [this]() { throw EFOpenError(FormatText(LoadBuiltInText(&SFOpenError), {fileName_})); };
    Key* key = nullptr;
    bool headerSeen = false;
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        if (end == std::string::npos) end = content.size();
        std::string_view line(content.data() + start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!headerSeen) {
            if (line != kFileHeader) fail();
            headerSeen = true;
            continue;
        }
        if (line.empty()) continue;
        if (line.front() == '[') {
            if (line.back() != ']') fail();
            auto parts = SplitPath(line.substr(1, line.size() - 2));
            if (!parts) fail();
            key = &root_;
            for (const std::string& escaped : *parts) {
                auto name = UnescapeName(escaped);
                if (!name || name->empty()) fail();
                auto& child = key->keys[*name];
                if (!child) child = std::make_unique<Key>();
                key = child.get();
            }
            continue;
        }
        std::size_t eq = line.find('='), colon = line.find(':', eq);
        if (key == nullptr || eq == std::string_view::npos || colon == std::string_view::npos) fail();
        auto name = UnescapeName(line.substr(0, eq));
        auto data = FromHex(line.substr(colon + 1));
        std::string_view typeText = line.substr(eq + 1, colon - eq - 1);
        if (!name || !data || typeText.empty() || typeText.size() > 10 ||
            typeText.find_first_not_of("0123456789") != std::string_view::npos)
            fail();
        unsigned long long type = std::stoull(std::string(typeText));
        if (type > 0xFFFFFFFFull) fail();
        key->values[*name] = Value{static_cast<std::uint32_t>(type), std::move(*data)};
    }
    if (!content.empty() && !headerSeen) fail();
}

std::string TRegistryStore::Serialize() const {
    std::string out = std::string(kFileHeader) + "\n";
    std::vector<std::string> path;
    auto emit = [&](auto& self, const Key& key) -> void {
        out += "[" + JoinPath(path, "\\") + "]\n";
        for (const auto& [name, value] : key.values)
            out += EscapeName(name) + "=" + std::to_string(value.type) + ":" + ToHex(value.data) + "\n";
        for (const auto& [name, child] : key.keys) {
            path.push_back(EscapeName(name));
            self(self, *child);
            path.pop_back();
        }
    };
    emit(emit, root_);
    return out;
}

TRegistryStore::Key* TRegistryStore::Find(const std::vector<std::string>& path) {
    Key* key = &root_;
    for (const std::string& part : path) {
        auto it = key->keys.find(part);
        if (it == key->keys.end()) return nullptr;
        key = it->second.get();
    }
    return key;
}

bool TRegistryStore::Persist() const { return fileName_.empty() || ReplaceStoreFile(fileName_, Serialize()); }

// ---- accessor --------------------------------------------------------------

TRegistry::TRegistry(TRegistryStore& store, bool readOnly) : store_(store), readOnly_(readOnly) {}

std::optional<TRegistry::Path> TRegistry::Resolve(const std::string& path) const {
    const bool absolute = !path.empty() && path.front() == '\\';
    auto parts = SplitPath(absolute ? std::string_view(path).substr(1) : std::string_view(path));
    if (!parts) return std::nullopt;
    if (absolute || !open_) return parts;
    if (current_.size() + parts->size() > kMaxKeyDepth) return std::nullopt;
    Path full = current_;
    full.insert(full.end(), parts->begin(), parts->end());
    return full;
}

bool TRegistry::OpenKey(const std::string& path, bool canCreate) {
    std::optional<Path> full = Resolve(path);
    if (!full) return false;
    if (!store_.Find(*full)) {
        if (!canCreate || readOnly_) return false;
        // Create the missing tail; take it back again if it cannot be stored.
        TRegistryStore::Key* key = &store_.root_;
        std::size_t depth = 0;
        while (key->keys.count((*full)[depth])) key = key->keys.find((*full)[depth++])->second.get();
        TRegistryStore::Key* parent = key;
        const std::string& firstNew = (*full)[depth];
        for (std::size_t i = depth; i < full->size(); ++i) {
            auto& child = key->keys[(*full)[i]];
            child = std::make_unique<TRegistryStore::Key>();
            key = child.get();
        }
        if (!store_.Persist()) {
            parent->keys.erase(firstNew);
            return false;
        }
    }
    current_ = std::move(*full);
    open_ = true;
    return true;
}

void TRegistry::CloseKey() {
    open_ = false;
    current_.clear();
}

std::string TRegistry::CurrentPath() const { return JoinPath(current_, "\\"); }

bool TRegistry::KeyExists(const std::string& path) {
    std::optional<Path> full = Resolve(path);
    return full && store_.Find(*full);
}

bool TRegistry::DeleteKey(const std::string& path) {
    std::optional<Path> full = Resolve(path);
    if (readOnly_ || !full || full->empty()) return false;
    const std::string leaf = full->back();
    full->pop_back();
    TRegistryStore::Key* parent = store_.Find(*full);
    if (!parent) return false;
    return store_.RemoveEntry(parent->keys, leaf);
}

std::vector<std::string> TRegistry::GetKeyNames() {
    std::vector<std::string> names;
    if (TRegistryStore::Key* key = open_ ? store_.Find(current_) : nullptr)
        for (const auto& entry : key->keys) names.push_back(entry.first);
    return names;
}

std::vector<std::string> TRegistry::GetValueNames() {
    std::vector<std::string> names;
    if (TRegistryStore::Key* key = open_ ? store_.Find(current_) : nullptr)
        for (const auto& entry : key->values) names.push_back(entry.first);
    return names;
}

const TRegistryStore::Value* TRegistry::Lookup(const std::string& name) {
    TRegistryStore::Key* key = open_ ? store_.Find(current_) : nullptr;
    if (!key) return nullptr;
    auto it = key->values.find(name);
    return it == key->values.end() ? nullptr : &it->second;
}

bool TRegistry::ValueExists(const std::string& name) { return Lookup(name) != nullptr; }

int TRegistry::GetDataSize(const std::string& name) {
    const TRegistryStore::Value* value = Lookup(name);
    return value ? static_cast<int>(value->data.size()) : -1;
}

std::uint32_t TRegistry::GetDataType(const std::string& name) {
    const TRegistryStore::Value* value = Lookup(name);
    return value ? value->type : RegNone;
}

bool TRegistry::DeleteValue(const std::string& name) {
    TRegistryStore::Key* key = open_ && !readOnly_ ? store_.Find(current_) : nullptr;
    if (!key) return false;
    return store_.RemoveEntry(key->values, name);
}

void TRegistry::WriteData(const std::string& name, std::uint32_t type, std::string data) {
    TRegistryStore::Key* key = open_ && !readOnly_ ? store_.Find(current_) : nullptr;
    if (!key) RaiseRegistryError(SRegSetDataFailed, name);
    auto it = key->values.find(name);
    std::optional<TRegistryStore::Value> previous;
    if (it != key->values.end()) {
        previous = std::move(it->second);
        it->second = TRegistryStore::Value{type, std::move(data)};
    } else {
        it = key->values.emplace(name, TRegistryStore::Value{type, std::move(data)}).first;
    }
    if (!store_.Persist()) {
        if (previous) it->second = std::move(*previous);
        else key->values.erase(it);
        RaiseRegistryError(SRegSetDataFailed, name);
    }
}

std::string TRegistry::ReadString(const std::string& name) {
    const TRegistryStore::Value* value = Lookup(name);
    if (!value || value->data.empty()) return {};
    if (value->type != RegSz && value->type != RegExpandSz) RaiseRegistryError(SInvalidRegType, name);
    // The text ends at its terminating zero (or with the data if it has none).
    return value->data.substr(0, value->data.find('\0'));
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
    WriteData(name, RegSz, value + '\0');
}

void TRegistry::WriteExpandString(const std::string& name, const std::string& value) {
    WriteData(name, RegExpandSz, value + '\0');
}

std::int32_t TRegistry::ReadInteger(const std::string& name) {
    const TRegistryStore::Value* value = Lookup(name);
    if (!value || value->data.size() > 4) RaiseRegistryError(SRegGetDataFailed, name);
    if (value->type != RegDword) RaiseRegistryError(SInvalidRegType, name);
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < value->data.size(); ++i)
        bits |= static_cast<std::uint32_t>(static_cast<unsigned char>(value->data[i])) << (8 * i);
    return static_cast<std::int32_t>(bits);
}

void TRegistry::WriteInteger(const std::string& name, std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    std::string data(4, '\0');
    for (std::size_t i = 0; i < 4; ++i) data[i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
    WriteData(name, RegDword, std::move(data));
}

std::string TRegistry::ReadBinaryData(const std::string& name) {
    const TRegistryStore::Value* value = Lookup(name);
    if (!value) RaiseRegistryError(SRegGetDataFailed, name);
    if (value->type != RegBinary) RaiseRegistryError(SInvalidRegType, name);
    return value->data;
}

void TRegistry::WriteBinaryData(const std::string& name, const std::string& data) {
    WriteData(name, RegBinary, data);
}

}  // namespace core
