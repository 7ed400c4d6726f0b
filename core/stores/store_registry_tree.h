// The registry-like store: a tree of keys reached by paths such as
// "Software\\Pump\\Port", each key holding named values of a data type and
// raw data bytes, and an accessor that works on one open key.
//
// Names of keys and values compare without regard to ASCII letter case and
// keep the spelling they were created with.
//
// A store made with a file name reads that file when it is constructed (a
// missing file is an empty store) and writes it anew after every change; a
// change that cannot be written is taken back, so the store keeps matching
// the file. A store made without a name lives in memory only.
//
// File format (ASCII text, LF line ends, blank lines ignored):
//   pumpdiag registry 1            first line
//   [Software\Pump\Port]           a key, by its full path ("[]" is the root)
//   Port=1:434f4d3100              a value of that key: name=type:data in hex
// Key and value names escape the bytes outside "!".."~" and the characters
// % = [ ] \ as %XX. Every key is listed, also an empty one, before its values.
//
// Not safe for concurrent use from several threads.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/stores/store_registry.h"
#include "core/stores/store_text.h"

namespace core {

// Data types of values, numbered as the platform registry numbers them
// (REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD).
enum TRegDataType : std::uint32_t {
    RegNone = 0,
    RegSz = 1,
    RegExpandSz = 2,
    RegBinary = 3,
    RegDword = 4,
};

class TRegistryStore {
public:
    // Raises EFOpenError "Cannot open file %s" when the file exists but cannot
    // be read or is not in the format above; the file is then left alone.
    explicit TRegistryStore(std::string fileName = {});
    TRegistryStore(const TRegistryStore&) = delete;
    TRegistryStore& operator=(const TRegistryStore&) = delete;

    const std::string& FileName() const noexcept { return fileName_; }

private:
    friend class TRegistry;

    struct Value {
        std::uint32_t type = RegNone;
        std::string data;
    };
    struct Key {
        std::map<std::string, std::unique_ptr<Key>, NameLess> keys;
        std::map<std::string, Value, NameLess> values;
    };

    // The key at `path` (parts from the root), or null.
    Key* Find(const std::vector<std::string>& path);
    // Writes the file; true also for a store kept in memory.
    bool Persist() const;
    // Removes the entry and persists; puts it back when that fails.
    template <typename Map>
    bool RemoveEntry(Map& map, const std::string& name) {
        auto node = map.extract(name);
        if (node.empty()) return false;
        if (Persist()) return true;
        map.insert(std::move(node));
        return false;
    }
    std::string Serialize() const;
    void Parse(const std::string& content);

    std::string fileName_;
    Key root_;
};

// Works on one open key of a store. Reading a value of a key that is not open
// (or no longer exists) finds nothing; writing to it fails.
class TRegistry : public TRegistryKeyAccess {
public:
    // A read-only accessor refuses every change.
    explicit TRegistry(TRegistryStore& store, bool readOnly = false);

    // Opens the key at `path`: from the root when the path starts with "\" or
    // no key is open, else below the open key. With `canCreate`, missing keys
    // on the way are created. Returns false (the open key stays as it was)
    // when the key is missing and not to be created, the path has an empty
    // part or leads deeper than 512 keys, or a new key cannot be stored.
    bool OpenKey(const std::string& path, bool canCreate);
    void CloseKey();
    bool HasCurrentKey() const noexcept { return open_; }
    // The open key's path as given, parts joined by "\" ("" for the root).
    std::string CurrentPath() const;

    bool KeyExists(const std::string& path);
    // Removes the key with everything below it; false when missing or refused.
    bool DeleteKey(const std::string& path);
    std::vector<std::string> GetKeyNames();
    std::vector<std::string> GetValueNames();

    bool ValueExists(const std::string& name);
    bool DeleteValue(const std::string& name);
    // Size of the value's data in bytes, -1 when the value is missing.
    int GetDataSize(const std::string& name);
    // The value's data type, RegNone when the value is missing.
    std::uint32_t GetDataType(const std::string& name);

    // Text values are RegSz with their terminating zero counted in the data.
    // A missing value, or one without data, reads as ""; a value of another
    // type raises "Invalid data type for '%s'".
    std::string ReadString(const std::string& name) override;
    void WriteString(const std::string& name, const std::string& value) override;
    void WriteExpandString(const std::string& name, const std::string& value);
    // Integers are RegDword of 4 bytes, low byte first. A missing value or
    // one whose data is longer than 4 bytes raises "Failed to get data for
    // '%s'"; a shorter one that is not RegDword raises "Invalid data type for
    // '%s'".
    std::int32_t ReadInteger(const std::string& name) override;
    void WriteInteger(const std::string& name, std::int32_t value) override;
    // Any data as RegBinary. Reading a missing value raises the get-data
    // failure, a value of another type the invalid-type failure.
    std::string ReadBinaryData(const std::string& name);
    void WriteBinaryData(const std::string& name, const std::string& data);

    // Every failed write raises "Failed to set data for '%s'" and changes nothing.

private:
    using Path = std::vector<std::string>;
    std::optional<Path> Resolve(const std::string& path) const;
    const TRegistryStore::Value* Lookup(const std::string& name);
    void WriteData(const std::string& name, std::uint32_t type, std::string data);

    TRegistryStore& store_;
    bool readOnly_;
    bool open_ = false;
    Path current_;
};

}  // namespace core
