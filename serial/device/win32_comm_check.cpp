#include "serial/device/win32_comm_check.h"

namespace serial::device {

HANDLE KeepIfCommDevice(HANDLE handle) {
    if (handle == INVALID_HANDLE_VALUE) return handle;
    COMMPROP properties{};
    DCB state{};
    state.DCBlength = sizeof state;
    if (GetFileType(handle) == FILE_TYPE_CHAR && GetCommProperties(handle, &properties) &&
        GetCommState(handle, &state))
        return handle;
    CloseHandle(handle);
    SetLastError(ERROR_BAD_DEVICE);
    return INVALID_HANDLE_VALUE;
}

}  // namespace serial::device
