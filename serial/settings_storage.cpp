// Settings storage of the port component; replaced by the stores' own code.
#include "core/exception.h"
#include "serial/com_port.h"

namespace serial {

void TCustomComPort::SaveSettingsToRegistry(core::TRegistryKeyAccess&) {
    throw core::Exception("settings storage not built");
}
void TCustomComPort::SaveSettingsToIni(core::TCustomIniFile&) {
    throw core::Exception("settings storage not built");
}
void TCustomComPort::LoadSettingsFromRegistry(core::TRegistryKeyAccess&) {
    throw core::Exception("settings storage not built");
}
void TCustomComPort::LoadSettingsFromIni(core::TCustomIniFile&) {
    throw core::Exception("settings storage not built");
}

}  // namespace serial
