// The kernel32 communications calls of the Windows backend whose arguments or
// results matter beyond success, in one table. Tests replace entries to
// record what the backend hands to the system or to play a driver that
// misbehaves; the program never changes it. Replace entries only while no
// port is open.
#pragma once

#include <windows.h>

namespace serial::device {

struct CommCalls {
    BOOL(WINAPI* getCommState)(HANDLE, LPDCB) = ::GetCommState;
    BOOL(WINAPI* setCommState)(HANDLE, LPDCB) = ::SetCommState;
    BOOL(WINAPI* getCommTimeouts)(HANDLE, LPCOMMTIMEOUTS) = ::GetCommTimeouts;
    BOOL(WINAPI* setCommTimeouts)(HANDLE, LPCOMMTIMEOUTS) = ::SetCommTimeouts;
    BOOL(WINAPI* clearCommError)(HANDLE, LPDWORD, LPCOMSTAT) = ::ClearCommError;
    BOOL(WINAPI* waitCommEvent)(HANDLE, LPDWORD, LPOVERLAPPED) = ::WaitCommEvent;
    BOOL(WINAPI* getOverlappedResult)(HANDLE, LPOVERLAPPED, LPDWORD, BOOL) = ::GetOverlappedResult;
    BOOL(WINAPI* cancelIoEx)(HANDLE, LPOVERLAPPED) = ::CancelIoEx;
    BOOL(WINAPI* readFile)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) = ::ReadFile;
    BOOL(WINAPI* writeFile)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED) = ::WriteFile;
    BOOL(WINAPI* purgeComm)(HANDLE, DWORD) = ::PurgeComm;
    BOOL(WINAPI* escapeCommFunction)(HANDLE, DWORD) = ::EscapeCommFunction;
    BOOL(WINAPI* getCommModemStatus)(HANDLE, LPDWORD) = ::GetCommModemStatus;
    BOOL(WINAPI* setCommMask)(HANDLE, DWORD) = ::SetCommMask;
};

// The table in use.
CommCalls& Comm();

}  // namespace serial::device
