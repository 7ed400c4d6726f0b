// The registry calls with which the Windows backend looks up a port's
// adapter (its device parameters under the bus enumerators), in one table.
// Tests replace entries to play recorded device parameters of adapters this
// machine does not have; the program never changes it.
#pragma once

#include <windows.h>

namespace serial::device {

struct RegistryCalls {
    LONG(WINAPI* openKey)(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY) = ::RegOpenKeyExW;
    LONG(WINAPI* enumKey)(HKEY, DWORD, LPWSTR, LPDWORD, LPDWORD, LPWSTR, LPDWORD, PFILETIME) = ::RegEnumKeyExW;
    LONG(WINAPI* queryValue)(HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD) = ::RegQueryValueExW;
    LONG(WINAPI* closeKey)(HKEY) = ::RegCloseKey;
};

// The table in use.
RegistryCalls& Registry();

}  // namespace serial::device
