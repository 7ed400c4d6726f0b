#include <windows.h>

#include "core/text/win32_text.h"
#include "report/journal_keeper.h"

namespace report {

// The roaming application data: another folder than the journal's local one.
std::string StateFolder() {
    wchar_t base[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"APPDATA", base, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return "";
    return core::NarrowText(std::wstring(base, length)) + "\\pumpdiag";
}

}  // namespace report
