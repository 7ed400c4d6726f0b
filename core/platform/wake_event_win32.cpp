#include <windows.h>
#include <io.h>

#include "core/platform/wake_event.h"

namespace core {

namespace {
HANDLE AsHandle(int event) { return LongToHandle(event); }
}  // namespace

int CreateWakeEvent() {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event ? HandleToLong(event) : -1;
}

void CloseWakeEvent(int event) {
    if (event != -1) CloseHandle(AsHandle(event));
}

void SignalWakeEvent(int event) { SetEvent(AsHandle(event)); }

void ResetWakeEvent(int event) { ResetEvent(AsHandle(event)); }

unsigned WaitForWakeEvents(std::initializer_list<int> events, int timeoutMs) {
    HANDLE handles[MAXIMUM_WAIT_OBJECTS] = {};
    unsigned bitOf[MAXIMUM_WAIT_OBJECTS] = {};
    DWORD n = 0;
    unsigned bit = 0;
    for (int event : events) {
        if (event != -1) {
            handles[n] = AsHandle(event);
            bitOf[n++] = 1u << bit;
        }
        ++bit;
    }
    const DWORD first = WaitForMultipleObjects(n, handles, FALSE, timeoutMs < 0 ? INFINITE : DWORD(timeoutMs));
    if (first >= WAIT_OBJECT_0 + n) return 0;
    // The wait names the first signalled event only; the others are looked at.
    unsigned signalled = bitOf[first - WAIT_OBJECT_0];
    for (DWORD i = first - WAIT_OBJECT_0 + 1; i < n; ++i)
        if (WaitForSingleObject(handles[i], 0) == WAIT_OBJECT_0) signalled |= bitOf[i];
    return signalled;
}

int InputWakeId(int fd) {
    const intptr_t handle = _get_osfhandle(fd);
    return handle == -1 ? -1 : HandleToLong(reinterpret_cast<HANDLE>(handle));
}

}  // namespace core
