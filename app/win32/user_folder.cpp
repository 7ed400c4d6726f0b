#include "app/win32/user_folder.h"

#include <windows.h>

#include "core/text/win32_text.h"
#include "localization/instance.h"
#include "serial/open_failure.h"

namespace app::win32 {

namespace {
std::wstring SystemText(DWORD code) { return core::WideText(serial::SystemErrorText(static_cast<int>(code))); }

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH];
    std::wstring folder(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

// Copies `source` as `target` unless something of that name is there;
// another start at the same moment coming first is no failure.
bool InstallNew(const std::wstring& source, const std::wstring& target) {
    if (CopyFileW(source.c_str(), target.c_str(), TRUE)) return true;
    return GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES;
}
}  // namespace

std::string EnterUserFolder() {
    wchar_t base[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", base, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return "No working folder: LOCALAPPDATA is not set.";
    const std::wstring folder = std::wstring(base, length) + L"\\pumpdiag\\";
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return core::NarrowText(L"Cannot make the working folder " + folder + L": " + SystemText(GetLastError()));
    // The texts in the user's language: Russian, or the English ones in en\.
    const bool russian = localization::SystemLanguageCode().rfind("ru", 0) == 0;
    const std::wstring shipped = ProgramFolder() + (russian ? L"data\\" : L"data\\en\\");
    if (!InstallNew(shipped + L"caption.txt", folder + L"caption.txt"))
        return core::NarrowText(L"Cannot fill the working folder " + folder + L": " + SystemText(GetLastError()));
    for (const wchar_t* code : {L"50", L"51", L"52", L"53", L"54", L"55", L"56", L"57", L"58", L"59", L"5A", L"5B",
                                L"5C", L"5D", L"5E"}) {
        const std::wstring name = std::wstring(code) + L".txt";
        if (!InstallNew(shipped + name, folder + name))
            return core::NarrowText(L"Cannot fill the working folder " + folder + L": " + SystemText(GetLastError()));
    }
    if (!SetCurrentDirectoryW(folder.c_str()))
        return core::NarrowText(L"Cannot enter the working folder " + folder + L": " + SystemText(GetLastError()));
    return {};
}

}  // namespace app::win32
