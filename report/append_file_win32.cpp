#include <windows.h>

#include "core/text/win32_text.h"
#include "report/append_file.h"

namespace report {

namespace {

// The system's text for `code`, without its final period and line end.
std::string SystemText(DWORD code) {
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

// Every system error of this file becomes a failure here, with its remedy's kind.
WriteFailure Failure(DWORD code) {
    WriteFault fault = WriteFault::Other;
    switch (code) {
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: fault = WriteFault::HeldOpen; break;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT: fault = WriteFault::NotWritable; break;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: fault = WriteFault::Full; break;
        default: break;
    }
    return {fault, SystemText(code)};
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

    WriteFailure Size(std::uint64_t& size) override {
        LARGE_INTEGER s{};
        if (!GetFileSizeEx(file_, &s)) return Failure(GetLastError());
        size = static_cast<std::uint64_t>(s.QuadPart);
        return {};
    }
    WriteFailure ReadAt(std::uint64_t offset, std::size_t count, std::string& bytes) override {
        bytes.resize(count);
        OVERLAPPED at = At(offset);
        DWORD got = 0;
        if (!ReadFile(file_, bytes.data(), static_cast<DWORD>(count), &got, &at)) return Failure(GetLastError());
        return got == count ? WriteFailure{} : Failure(ERROR_HANDLE_EOF);
    }
    // An offset of all ones writes to the end as it is then, whoever wrote
    // last (what append rights alone would do).
    WriteFailure Append(std::string_view text, std::uint64_t size) override {
        OVERLAPPED end{};
        end.Offset = end.OffsetHigh = 0xFFFFFFFF;
        DWORD written = 0;
        const bool wrote = WriteFile(file_, text.data(), static_cast<DWORD>(text.size()), &written, &end);
        if (wrote && written == text.size()) return {};
        const WriteFailure failure = Failure(wrote ? ERROR_DISK_FULL : GetLastError());
        // A part of a record is taken back: the record is whole or absent.
        if (written > 0) {
            if (const WriteFailure cut = Truncate(size); cut.Failed()) return cut;
        }
        return failure;
    }
    WriteFailure Truncate(std::uint64_t size) override {
        LARGE_INTEGER to{};
        to.QuadPart = static_cast<LONGLONG>(size);
        if (!SetFilePointerEx(file_, to, nullptr, FILE_BEGIN) || !SetEndOfFile(file_)) return Failure(GetLastError());
        return {};
    }

private:
    HANDLE file_;
    bool locked_ = false;
};

}  // namespace

std::unique_ptr<LockedAppendFile> OpenLockedAppendFile(const std::string& path, WriteFailure& failure, bool create) {
    // Write rights beside append rights, so that a short write can be taken back.
    const HANDLE handle = CreateFileW(core::WideText(path).c_str(),
                                      FILE_APPEND_DATA | FILE_WRITE_DATA | FILE_READ_DATA | SYNCHRONIZE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, create ? OPEN_ALWAYS : OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        const bool absent = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
        failure = !create && absent ? WriteFailure{} : Failure(code);
        return nullptr;
    }
    auto file = std::make_unique<Win32AppendFile>(handle);
    if (!file->Lock()) {
        failure = Failure(GetLastError());
        return nullptr;
    }
    return file;
}

WriteFailure CreateFolders(const std::string& folder) {
    const std::wstring wide = core::WideText(folder);
    for (std::size_t sep = wide.find_first_of(L"\\/", 3);; sep = wide.find_first_of(L"\\/", sep + 1)) {
        const std::wstring part = wide.substr(0, sep);
        if (!CreateDirectoryW(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return Failure(GetLastError());
        if (sep == std::wstring::npos) break;
    }
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return Failure(GetLastError());
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? WriteFailure{} : Failure(ERROR_DIRECTORY);
}

}  // namespace report
