// Reads the program's windows back through the system, for the window tests
// under Wine: lists every top-level window and its children (class, id,
// visibility, enabled state, text), and presses a control or a menu command.
//
//   winspy list                      one line a window: depth class id visible enabled "text"
//   winspy click CLASS ID            presses the button ID in the top-level window of CLASS
//   winspy command CLASS ID          sends the menu command ID to the top-level window of CLASS
//   winspy hover CLASS ID            puts the mouse pointer on the control ID (its tooltip opens)
//   winspy close CLASS               asks the top-level window of CLASS to close
//   winspy version FILE              the file's version resource: FILEVERSION a.b.c.d, then
//                                    name=value for each text of its first language
//   winspy monitors                  one line a monitor: left top right bottom
//   winspy rect CLASS                the top-level window of CLASS: left top right bottom
//   winspy move CLASS X Y            moves the top-level window of CLASS to X, Y
//   winspy settext CLASS ID TEXT     sets the text of the control ID (a test's mark: the
//                                    program writing it again shows that it came by there)
//   winspy repaints CLASS SECONDS    every 20 ms marks the top-level window of CLASS for
//                                    repainting and times until it has repainted; prints
//                                    the count, median, p99 and largest time in ms
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../find_control.h"

namespace {

std::string Utf8(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), size, nullptr, nullptr);
    return out;
}

std::wstring Wide(const char* text) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring out(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, out.data(), size);
    out.resize(static_cast<std::size_t>(size > 0 ? size - 1 : 0));
    return out;
}

// The text through WM_GETTEXT, which the system carries across processes.
std::string TextOf(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) return {};
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG, 2000,
                        &copied);
    text.resize(copied);
    std::string out;
    for (char c : Utf8(text)) {
        if (c == '\r') continue;
        if (c == '\n') out += "\\n";
        else if (c == '"') out += "\\\"";
        else out += c;
    }
    return out;
}

void Print(HWND window, int depth) {
    wchar_t type[128] = L"";
    GetClassNameW(window, type, 128);
    std::printf("%d %s %d %d %d \"%s\"\n", depth, Utf8(type).c_str(), GetDlgCtrlID(window),
                IsWindowVisible(window) ? 1 : 0, IsWindowEnabled(window) ? 1 : 0, TextOf(window).c_str());
}

BOOL CALLBACK PrintChild(HWND child, LPARAM parent) {
    // EnumChildWindows walks every descendant: print each under its own parent.
    if (GetParent(child) != reinterpret_cast<HWND>(parent)) return TRUE;
    int depth = 0;
    for (HWND up = child; up && up != GetDesktopWindow(); up = GetParent(up)) ++depth;
    Print(child, depth - 1);
    EnumChildWindows(child, PrintChild, reinterpret_cast<LPARAM>(child));
    return TRUE;
}

BOOL CALLBACK PrintTop(HWND window, LPARAM) {
    Print(window, 0);
    EnumChildWindows(window, PrintChild, reinterpret_cast<LPARAM>(window));
    return TRUE;
}

// The top-level window of CLASS, or its control ID: several windows of the
// class (a dialog and its message box) are searched for the one with it.
HWND Control(const char* type, const char* id) {
    const std::wstring name = Wide(type);
    HWND top = FindWindowW(name.c_str(), nullptr);
    if (!top) {
        std::fprintf(stderr, "winspy: no window of class %s\n", type);
        std::exit(2);
    }
    if (!id) return top;
    const int wanted = static_cast<int>(std::strtol(id, nullptr, 0));
    HWND found = nullptr;
    for (; top && !found; top = FindWindowExW(nullptr, top, name.c_str(), nullptr)) found = FindControl(top, wanted);
    if (!found) {
        std::fprintf(stderr, "winspy: no control %s in %s\n", id, type);
        std::exit(2);
    }
    return found;
}

// The resource read back as the system's Properties page reads it.
int PrintVersion(const char* file) {
    const std::wstring path = Wide(file);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) {
        std::printf("no version resource\n");
        return 1;
    }
    std::string block(size, '\0');
    if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return 1;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length)) return 1;
    std::printf("FILEVERSION %u.%u.%u.%u\n", unsigned{HIWORD(fixed->dwFileVersionMS)},
                unsigned{LOWORD(fixed->dwFileVersionMS)}, unsigned{HIWORD(fixed->dwFileVersionLS)},
                unsigned{LOWORD(fixed->dwFileVersionLS)});
    struct Translation {
        WORD language, codePage;
    }* translation = nullptr;
    if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length))
        return 1;
    wchar_t prefix[64];
    wsprintfW(prefix, L"\\StringFileInfo\\%04x%04x\\", translation->language, translation->codePage);
    for (const wchar_t* name : {L"CompanyName", L"FileDescription", L"FileVersion", L"InternalName",
                                L"OriginalFilename", L"ProductName", L"ProductVersion"}) {
        wchar_t* value = nullptr;
        if (VerQueryValueW(block.data(), (std::wstring(prefix) + name).c_str(), reinterpret_cast<void**>(&value),
                           &length))
            std::printf("%s=%s\n", Utf8(name).c_str(), Utf8(value).c_str());
    }
    return 0;
}

double MsOf(LONGLONG ticks) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(ticks) / static_cast<double>(frequency.QuadPart);
}

LONGLONG Now() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

// How long the window takes to repaint what was marked, again and again.
int TimeRepaints(HWND window, int seconds) {
    if (!window) return 1;
    std::vector<double> times;
    for (const LONGLONG end = Now() + static_cast<LONGLONG>(seconds / MsOf(1) * 1000); Now() < end;) {
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
        const LONGLONG start = Now();
        while (GetUpdateRect(window, nullptr, FALSE) && MsOf(Now() - start) < 5000) Sleep(1);
        times.push_back(MsOf(Now() - start));
        Sleep(20);
    }
    std::sort(times.begin(), times.end());
    const auto at = [&](double q) { return times[std::min(times.size() - 1, static_cast<std::size_t>(q * times.size()))]; };
    std::printf("repaints %zu  median %.1f ms  p99 %.1f ms  max %.1f ms\n", times.size(), at(0.5), at(0.99), times.back());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "list") {
        EnumWindows(PrintTop, 0);
        return 0;
    }
    if (command == "click" && argc == 4) return PostMessageW(Control(argv[2], argv[3]), BM_CLICK, 0, 0) ? 0 : 1;
    if (command == "command" && argc == 4) {
        const WPARAM id = static_cast<WPARAM>(std::strtol(argv[3], nullptr, 0));
        return PostMessageW(Control(argv[2], nullptr), WM_COMMAND, id, 0) ? 0 : 1;
    }
    if (command == "hover" && argc == 4) {
        RECT place{};
        GetWindowRect(Control(argv[2], argv[3]), &place);
        return SetCursorPos((place.left + place.right) / 2, (place.top + place.bottom) / 2) ? 0 : 1;
    }
    if (command == "monitors") {
        EnumDisplayMonitors(
            nullptr, nullptr,
            [](HMONITOR, HDC, RECT* place, LPARAM) -> BOOL {
                std::printf("%ld %ld %ld %ld\n", place->left, place->top, place->right, place->bottom);
                return TRUE;
            },
            0);
        return 0;
    }
    if (command == "rect" && argc == 3) {
        RECT place{};
        GetWindowRect(Control(argv[2], nullptr), &place);
        std::printf("%ld %ld %ld %ld\n", place.left, place.top, place.right, place.bottom);
        return 0;
    }
    if (command == "move" && argc == 5)
        return SetWindowPos(Control(argv[2], nullptr), nullptr, std::atoi(argv[3]), std::atoi(argv[4]), 0, 0,
                            SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE)
                   ? 0
                   : 1;
    if (command == "settext" && argc == 5) {
        const std::wstring text = Wide(argv[4]);
        DWORD_PTR result = 0;
        return SendMessageTimeoutW(Control(argv[2], argv[3]), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                                   SMTO_ABORTIFHUNG, 10000, &result) && result
                   ? 0
                   : 1;
    }
    if (command == "close" && argc == 3) return PostMessageW(Control(argv[2], nullptr), WM_CLOSE, 0, 0) ? 0 : 1;
    if (command == "version" && argc == 3) return PrintVersion(argv[2]);
    if (command == "repaints" && argc == 4) return TimeRepaints(Control(argv[2], nullptr), std::atoi(argv[3]));
    std::fprintf(stderr, "usage: winspy list | click CLASS ID | command CLASS ID | hover CLASS ID | close CLASS | monitors |"
                         " rect CLASS | move CLASS X Y | version FILE | settext CLASS ID TEXT | repaints CLASS SECONDS\n");
    return 2;
}
