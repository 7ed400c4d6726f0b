// Replacing a settings file on Windows: a temporary file beside it, flushed,
// then moved over the old one in one step.
#include <windows.h>

#include <algorithm>

#include "core/stores/store_file.h"
#include "core/text/win32_text.h"

namespace core {

namespace {

bool WriteAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
        bytes.remove_prefix(written);
    }
    return FlushFileBuffers(file) != 0;
}

// A new file beside `target` that no one else has, or INVALID_HANDLE_VALUE.
HANDLE CreateTemporary(const std::wstring& target, std::wstring& name) {
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        name = target + L"." + std::to_wstring(GetCurrentProcessId()) + L"." +
               std::to_wstring(GetTickCount64() + attempt) + L".tmp";
        HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return file;
    }
    return INVALID_HANDLE_VALUE;
}

}  // namespace

bool ReplaceStoreFile(const std::string& name, std::string_view bytes) {
    if (name.empty()) return false;
    const std::wstring target = WideText(name);
    const DWORD attributes = GetFileAttributesW(target.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    // Replacing a read-only file would sidestep its protection.
    if (exists && (attributes & FILE_ATTRIBUTE_READONLY)) return false;

    std::wstring temp;
    HANDLE file = CreateTemporary(target, temp);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = WriteAll(file, bytes);
    ok = CloseHandle(file) && ok;
    if (ok) ok = MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (!ok) DeleteFileW(temp.c_str());
    return ok;
}

}  // namespace core
