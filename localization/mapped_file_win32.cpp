#include <windows.h>

#include "core/text/win32_text.h"
#include "localization/mapped_file.h"

namespace localization {

namespace {

HANDLE AsHandle(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }

std::string SystemMessage(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = n ? core::NarrowText(std::wstring_view(text, n)) : "system error " + std::to_string(code);
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
    return message;
}

}  // namespace

std::string WithFolderSeparator(std::string_view folder) {
    std::string result(folder);
    if (result.empty() || (result.back() != '/' && result.back() != '\\')) result += '/';
    return result;
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool IsRegularFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(core::WideText(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_REPARSE_POINT));
}

bool MappedFile::Open(const std::string& path) {
    HANDLE file = CreateFileW(core::WideText(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    file_ = reinterpret_cast<std::intptr_t>(file);
    return true;
}

std::optional<std::uint64_t> MappedFile::RegularFileSize() const {
    LARGE_INTEGER size;
    if (GetFileType(AsHandle(file_)) != FILE_TYPE_DISK || !GetFileSizeEx(AsHandle(file_), &size)) return std::nullopt;
    return static_cast<std::uint64_t>(size.QuadPart);
}

bool MappedFile::Map(std::string& reason) {
    const auto size = RegularFileSize();
    HANDLE mapping = size ? CreateFileMappingW(AsHandle(file_), nullptr, PAGE_READONLY, 0, 0, nullptr) : nullptr;
    void* view = mapping ? MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) : nullptr;
    if (!view) {
        reason = SystemMessage(GetLastError());
        if (mapping) CloseHandle(mapping);
        return false;
    }
    mapping_ = reinterpret_cast<std::intptr_t>(mapping);
    view_ = view;
    size_ = static_cast<std::size_t>(*size);
    return true;
}

void MappedFile::Close() {
    if (view_) UnmapViewOfFile(view_);
    if (mapping_ != -1) CloseHandle(AsHandle(mapping_));
    if (file_ != -1) CloseHandle(AsHandle(file_));
    view_ = nullptr;
    size_ = 0;
    mapping_ = file_ = -1;
}

}  // namespace localization
