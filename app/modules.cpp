#include <cstdint>

#include "app/startup.h"
#include "localization/runtime.h"
#include "serial/com_error.h"

namespace app {

void StartModules() {
    localization::StartRuntime();
    try {
        serial::InitPortErrorMessages();
    } catch (...) {
        localization::EndRuntime();
        throw;
    }
}

void EndModules() { localization::EndRuntime(); }

std::uintptr_t StartModulesAt(bool& failed) {
    const auto at = reinterpret_cast<std::uintptr_t>(__builtin_extract_return_addr(__builtin_return_address(0)));
    try {
        StartModules();
        failed = false;
    } catch (...) {
        failed = true;
    }
    return at;
}

}  // namespace app
