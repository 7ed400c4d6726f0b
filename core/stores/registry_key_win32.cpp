#include "core/stores/registry_key_win32.h"

#include <windows.h>

#include "core/platform/builtin_text.h"
#include "core/platform/exception.h"
#include "core/text/format.h"
#include "core/text/win32_text.h"

namespace core {

namespace {

[[noreturn]] void Raise(const BuiltInText& text, const std::string& name) {
    throw ERegistryException(FormatText(LoadBuiltInText(&text), {name}));
}

}  // namespace

TWin32RegistryKey::TWin32RegistryKey(const std::string& path) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, WideText(path).c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        Raise(SRegSetDataFailed, path);
    key_ = key;
}

TWin32RegistryKey::~TWin32RegistryKey() { RegCloseKey(static_cast<HKEY>(key_)); }

std::string TWin32RegistryKey::ReadString(const std::string& name) {
    const std::wstring wideName = WideText(name);
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(static_cast<HKEY>(key_), wideName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return {};
    if (type != REG_SZ && type != REG_EXPAND_SZ) Raise(SInvalidRegType, name);
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    DWORD got = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (RegQueryValueExW(static_cast<HKEY>(key_), wideName.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(text.data()), &got) != ERROR_SUCCESS)
        Raise(SRegGetDataFailed, name);
    text.resize(got / sizeof(wchar_t));
    // The stored text ends at its first zero (the counted terminator among them).
    const auto zero = text.find(L'\0');
    if (zero != std::wstring::npos) text.resize(zero);
    return NarrowText(text);
}

std::int32_t TWin32RegistryKey::ReadInteger(const std::string& name) {
    DWORD type = 0, data = 0, size = sizeof data;
    const LONG result =
        RegQueryValueExW(static_cast<HKEY>(key_), WideText(name).c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(&data), &size);
    // A missing value or one longer than 4 bytes (ERROR_MORE_DATA) cannot be read.
    if (result != ERROR_SUCCESS) Raise(SRegGetDataFailed, name);
    if (type != REG_DWORD) Raise(SInvalidRegType, name);
    return static_cast<std::int32_t>(data);
}

void TWin32RegistryKey::WriteString(const std::string& name, const std::string& value) {
    const std::wstring text = WideText(value);
    const DWORD size = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    if (RegSetValueExW(static_cast<HKEY>(key_), WideText(name).c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(text.c_str()), size) != ERROR_SUCCESS)
        Raise(SRegSetDataFailed, name);
}

void TWin32RegistryKey::WriteInteger(const std::string& name, std::int32_t value) {
    const DWORD data = static_cast<DWORD>(value);
    if (RegSetValueExW(static_cast<HKEY>(key_), WideText(name).c_str(), 0, REG_DWORD,
                       reinterpret_cast<const BYTE*>(&data), sizeof data) != ERROR_SUCCESS)
        Raise(SRegSetDataFailed, name);
}

}  // namespace core
