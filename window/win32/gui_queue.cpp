#include "window/win32/gui_queue.h"

#include <windows.h>

#include <deque>
#include <mutex>
#include <utility>

#include "window/handler_guard.h"

namespace window::win32 {

namespace {
constexpr UINT kDrain = WM_APP + 1;

std::mutex g_lock;
std::deque<std::function<void()>> g_queue;
HWND g_window = nullptr;
DWORD g_thread = 0;

// One piece at a time, taken under the lock: a box opened by a piece pumps
// messages, and a drain inside it goes on with the next piece, not a later one.
void Drain() {
    for (;;) {
        std::function<void()> work;
        {
            std::lock_guard<std::mutex> hold(g_lock);
            if (g_queue.empty()) return;
            work = std::move(g_queue.front());
            g_queue.pop_front();
        }
        try {
            work();
        } catch (...) {
            PresentEscapedError();
        }
    }
}

LRESULT CALLBACK QueueProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kDrain) {
        Drain();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
}  // namespace

void StartGuiQueue() {
    if (g_window) return;
    WNDCLASSW type{};
    type.lpfnWndProc = &QueueProc;
    type.hInstance = GetModuleHandleW(nullptr);
    type.lpszClassName = L"PumpdiagGuiQueue";
    RegisterClassW(&type);
    g_thread = GetCurrentThreadId();
    g_window = CreateWindowExW(0, type.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, type.hInstance, nullptr);
}

void PostToGui(std::function<void()> work) {
    if (GetCurrentThreadId() == g_thread) {
        work();
        return;
    }
    bool wasEmpty = false;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        wasEmpty = g_queue.empty();
        g_queue.push_back(std::move(work));
    }
    if (wasEmpty) PostMessageW(g_window, kDrain, 0, 0);
}

}  // namespace window::win32
