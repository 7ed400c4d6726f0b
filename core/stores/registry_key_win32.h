// The Windows registry as the settings store of the port component: one key
// under HKEY_CURRENT_USER, opened (created when missing) for reading and
// writing. Text values are REG_SZ with the terminating zero counted in their
// size, integers REG_DWORD; the failures are those of TRegistryKeyAccess.
#pragma once

#include <string>

#include "core/stores/store_registry.h"

namespace core {

class TWin32RegistryKey final : public TRegistryKeyAccess {
public:
    // Opens or creates HKEY_CURRENT_USER\<path> ("Software\\Pump\\Port");
    // raises ERegistryException "Failed to set data for '<path>'" when it cannot.
    explicit TWin32RegistryKey(const std::string& path);
    ~TWin32RegistryKey() override;
    TWin32RegistryKey(const TWin32RegistryKey&) = delete;
    TWin32RegistryKey& operator=(const TWin32RegistryKey&) = delete;

    std::string ReadString(const std::string& name) override;
    std::int32_t ReadInteger(const std::string& name) override;
    void WriteString(const std::string& name, const std::string& value) override;
    void WriteInteger(const std::string& name, std::int32_t value) override;

private:
    void* key_ = nullptr;  // HKEY
};

}  // namespace core
