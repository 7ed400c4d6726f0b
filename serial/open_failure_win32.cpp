#include <windows.h>

#include "core/text/win32_text.h"
#include "serial/open_failure.h"

namespace serial {

OpenFailureKind ClassifyOpenError(int code) {
    switch (static_cast<DWORD>(code)) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: return OpenFailureKind::Missing;
        // Ports are opened exclusively: a port another program holds is refused so.
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION: return OpenFailureKind::Busy;
        default: return OpenFailureKind::Other;
    }
}

std::string SystemErrorText(int code) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message(text ? text : L"", length);
    if (text) LocalFree(text);
    // The system's texts end in a period and a line end; the line adds its own.
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L'.' ||
                                message.back() == L' '))
        message.pop_back();
    if (message.empty()) return "system error " + std::to_string(code);
    return core::NarrowText(message);
}

std::string PortListHint() { return "its COM number is in the Device Manager under \"Ports (COM & LPT)\""; }

}  // namespace serial
