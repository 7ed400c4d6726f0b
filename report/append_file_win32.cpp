#include <windows.h>

#include "core/win32_text.h"
#include "report/append_file.h"

namespace report {

namespace {

// The system's text for `code`, without its final period and line end.
std::string Reason(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message(text ? text : L"", length);
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L'.'))
        message.pop_back();
    return message.empty() ? "system error " + std::to_string(code) : core::NarrowText(message);
}

class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

// The lock covers one byte far beyond any data: Windows' locks are mandatory,
// and a lock over the records would keep readers out while a record goes in.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

class AppendLock {
public:
    explicit AppendLock(HANDLE file) : file_(file) {
        locked_ = LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, Place());
    }
    ~AppendLock() {
        if (locked_) UnlockFileEx(file_, 0, 1, 0, Place());
    }
    AppendLock(const AppendLock&) = delete;
    AppendLock& operator=(const AppendLock&) = delete;
    bool Held() const { return locked_; }

private:
    OVERLAPPED* Place() {
        place_ = {};
        place_.OffsetHigh = kLockOffsetHigh;
        return &place_;
    }
    HANDLE file_;
    OVERLAPPED place_{};
    bool locked_ = false;
};

}  // namespace

std::string AppendRecord(const std::string& path, std::string_view head, std::string_view record) {
    // Append data only (no write data): every write goes to the file's end.
    const Handle file(CreateFileW(core::WideText(path).c_str(), FILE_APPEND_DATA | FILE_READ_DATA | SYNCHRONIZE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return Reason(GetLastError());
    const AppendLock lock(file.get());
    if (!lock.Held()) return Reason(GetLastError());
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) return Reason(GetLastError());
    std::string text;
    if (size.QuadPart == 0) {
        text = head;
    } else {
        char last = '\n';
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(size.QuadPart - 1);
        at.OffsetHigh = static_cast<DWORD>((size.QuadPart - 1) >> 32);
        DWORD got = 0;
        if (!ReadFile(file.get(), &last, 1, &got, &at) || got != 1) return Reason(GetLastError());
        if (last != '\n') text = "\r\n";
    }
    text += record;
    DWORD written = 0;
    if (!WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr))
        return Reason(GetLastError());
    return written == text.size() ? std::string() : Reason(ERROR_DISK_FULL);
}

std::string MakeFolders(const std::string& folder) {
    const std::wstring wide = core::WideText(folder);
    for (std::size_t sep = wide.find_first_of(L"\\/", 3);; sep = wide.find_first_of(L"\\/", sep + 1)) {
        const std::wstring part = wide.substr(0, sep);
        if (!CreateDirectoryW(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return Reason(GetLastError());
        if (sep == std::wstring::npos) break;
    }
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return Reason(GetLastError());
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? std::string() : Reason(ERROR_DIRECTORY);
}

}  // namespace report
