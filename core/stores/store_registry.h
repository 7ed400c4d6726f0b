// Registry-like hierarchical settings store: keys holding named text and
// 32-bit integer values.
#pragma once

#include <cstdint>
#include <string>

namespace core {

// What the port component's settings storage needs: a store with an open
// current key (TRegistry in core/stores/store_registry_tree.h is the accessor of the
// store on a file). Failures raise ERegistryException with the built-in texts
// "Failed to set data for '%s'", "Failed to get data for '%s'" and
// "Invalid data type for '%s'".
class TRegistryKeyAccess {
public:
    virtual ~TRegistryKeyAccess() = default;
    // A missing text value reads as empty text.
    virtual std::string ReadString(const std::string& name) = 0;
    // A missing integer value raises "Failed to get data for '%s'".
    virtual std::int32_t ReadInteger(const std::string& name) = 0;
    virtual void WriteString(const std::string& name, const std::string& value) = 0;
    virtual void WriteInteger(const std::string& name, std::int32_t value) = 0;
};

}  // namespace core
