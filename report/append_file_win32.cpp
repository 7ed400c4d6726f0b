#include <windows.h>

#include "core/text/win32_text.h"
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

OVERLAPPED At(std::uint64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
}

// Windows' locks are mandatory: the lock covers one byte far beyond any
// record, so that readers are not kept out while a record goes in.
constexpr std::uint64_t kLockByte = 0x7FFFFFFF00000000ull;

class Win32AppendFile final : public LockedAppendFile {
public:
    explicit Win32AppendFile(HANDLE file) : file_(file) {}
    ~Win32AppendFile() override {
        if (locked_) {
            OVERLAPPED at = At(kLockByte);
            UnlockFileEx(file_, 0, 1, 0, &at);
        }
        CloseHandle(file_);
    }
    bool Lock() {
        OVERLAPPED at = At(kLockByte);
        locked_ = LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at);
        return locked_;
    }

    std::string Size(std::uint64_t& size) override {
        LARGE_INTEGER s{};
        if (!GetFileSizeEx(file_, &s)) return Reason(GetLastError());
        size = static_cast<std::uint64_t>(s.QuadPart);
        return {};
    }
    std::string ReadAt(std::uint64_t offset, std::size_t count, std::string& bytes) override {
        bytes.resize(count);
        OVERLAPPED at = At(offset);
        DWORD got = 0;
        if (!ReadFile(file_, bytes.data(), static_cast<DWORD>(count), &got, &at)) return Reason(GetLastError());
        return got == count ? std::string() : Reason(ERROR_HANDLE_EOF);
    }
    // The handle has append rights only, so the write goes to the end.
    std::string Append(std::string_view text, std::uint64_t) override {
        DWORD written = 0;
        if (!WriteFile(file_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr))
            return Reason(GetLastError());
        return written == text.size() ? std::string() : Reason(ERROR_DISK_FULL);
    }

private:
    HANDLE file_;
    bool locked_ = false;
};

}  // namespace

std::unique_ptr<LockedAppendFile> OpenLockedAppendFile(const std::string& path, std::string& failure) {
    const HANDLE handle = CreateFileW(core::WideText(path).c_str(), FILE_APPEND_DATA | FILE_READ_DATA | SYNCHRONIZE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                      nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        failure = Reason(GetLastError());
        return nullptr;
    }
    auto file = std::make_unique<Win32AppendFile>(handle);
    if (!file->Lock()) {
        failure = Reason(GetLastError());
        return nullptr;
    }
    return file;
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
