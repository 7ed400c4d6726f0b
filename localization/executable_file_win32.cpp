#include <windows.h>

#include <algorithm>

#include "core/text/win32_text.h"
#include "localization/executable_file.h"

namespace localization {

namespace {
HANDLE AsHandle(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }
}  // namespace

std::string OwnExecutablePath() {
    std::wstring path(32768, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0 || n >= path.size()) return {};
    path.resize(n);
    std::string utf8 = core::NarrowText(path);
    std::replace(utf8.begin(), utf8.end(), '\\', '/');
    return utf8;
}

// The section of the program's image that holds the address, and where that
// section's bytes lie in the file.
long long OwnFilePosition(const void* address, std::size_t size) {
    const auto* base = reinterpret_cast<const unsigned char*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    const auto at = static_cast<std::uintptr_t>(static_cast<const unsigned char*>(address) - base);
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        const std::uintptr_t start = section->VirtualAddress;
        if (at >= start && at + size <= start + section->SizeOfRawData)
            return static_cast<long long>(section->PointerToRawData + (at - start));
    }
    return -1;
}

ReadOnlyFile::ReadOnlyFile(const std::string& path)
    : file_(reinterpret_cast<std::intptr_t>(CreateFileW(core::WideText(path).c_str(), GENERIC_READ,
                                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                                        FILE_ATTRIBUTE_NORMAL, nullptr))) {}

ReadOnlyFile::~ReadOnlyFile() {
    if (IsOpen()) CloseHandle(AsHandle(file_));
}

bool ReadOnlyFile::IsOpen() const { return AsHandle(file_) != INVALID_HANDLE_VALUE; }

std::uint64_t ReadOnlyFile::Size() const {
    LARGE_INTEGER size;
    return GetFileSizeEx(AsHandle(file_), &size) && size.QuadPart > 0 ? static_cast<std::uint64_t>(size.QuadPart) : 0;
}

long long ReadOnlyFile::ReadSome(std::uint64_t position, void* out, std::size_t count) const {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    DWORD got = 0;
    if (!ReadFile(AsHandle(file_), out, static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30)), &got, &at))
        return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    return got;
}

}  // namespace localization
