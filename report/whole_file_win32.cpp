// Windows: a new file made with CREATE_NEW, FlushFileBuffers, then
// MoveFileExW with MOVEFILE_REPLACE_EXISTING, which replaces the file in one
// step, and MOVEFILE_WRITE_THROUGH, which returns once the move is on disk.
#include <windows.h>

#include <algorithm>
#include <cerrno>

#include "core/text/win32_text.h"
#include "report/whole_file.h"

namespace report::whole_file {

namespace {

// The system's failures as the file messages name them.
int ErrnoOf(DWORD code) {
    switch (code) {
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: return EEXIST;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: return EACCES;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME: return ENOENT;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return ENOSPC;
        case ERROR_WRITE_PROTECT: return EROFS;
        case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
        default: return EIO;
    }
}

int LastErrno() { return ErrnoOf(GetLastError()); }

}  // namespace

std::string Beside(const std::string& path, const std::string& name) {
    const std::size_t separator = path.find_last_of("\\/:");
    return separator == std::string::npos ? name : path.substr(0, separator + 1) + name;
}

bool IsDevice(const std::string& path) {
    const HANDLE file = CreateFileW(core::WideText(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const DWORD type = GetFileType(file);
    CloseHandle(file);
    return type != FILE_TYPE_DISK;
}

int WriteNew(const std::string& path, std::string_view bytes) {
    const HANDLE file = CreateFileW(core::WideText(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return LastErrno();
    int error = 0;
    std::size_t done = 0;
    while (error == 0 && done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr)) error = LastErrno();
        else if (written == 0) error = ENOSPC;
        done += written;
    }
    if (error == 0 && !FlushFileBuffers(file)) error = LastErrno();
    if (!CloseHandle(file) && error == 0) error = LastErrno();
    return error;
}

int Replace(const std::string& from, const std::string& to) {
    return MoveFileExW(core::WideText(from).c_str(), core::WideText(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? 0
               : LastErrno();
}

void Remove(const std::string& path) { DeleteFileW(core::WideText(path).c_str()); }

}  // namespace report::whole_file
