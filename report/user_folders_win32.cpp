#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include "core/text/win32_text.h"
#include "report/user_folders.h"

namespace report {

std::string UserFolder() {
    wchar_t base[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", base, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return "";
    return core::NarrowText(std::wstring(base, length)) + "\\pumpdiag";
}

std::string DocumentsFolder() {
    wchar_t* path = nullptr;
    std::string folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, &path))) folder = core::NarrowText(path);
    CoTaskMemFree(path);
    return folder;
}

std::string InFolder(const std::string& folder, const std::string& name) { return folder + "\\" + name; }

}  // namespace report
