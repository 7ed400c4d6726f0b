// Ini-file settings store: sections of keys with text values.
#pragma once

#include <cstdint>
#include <string>

namespace core {

// What the port component's settings storage needs from an ini-file store.
// TIniFile (core/stores/store_ini_file.h) is the store on a file.
class TCustomIniFile {
public:
    virtual ~TCustomIniFile() = default;
    // Returns `defaultValue` when the key is missing.
    virtual std::string ReadString(const std::string& section, const std::string& key,
                                   const std::string& defaultValue) = 0;
    virtual void WriteString(const std::string& section, const std::string& key, const std::string& value) = 0;
    // Returns `defaultValue` when the key is missing or does not hold a number.
    virtual std::int32_t ReadInteger(const std::string& section, const std::string& key,
                                     std::int32_t defaultValue) = 0;
    virtual void WriteInteger(const std::string& section, const std::string& key, std::int32_t value) = 0;
};

}  // namespace core
