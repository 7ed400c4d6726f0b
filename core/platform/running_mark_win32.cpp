#include "core/platform/running_mark.h"

#include <windows.h>

#include <sddl.h>

namespace core {

void HoldRunningMark() {
    // Everyone may wait on it (SYNCHRONIZE) and ask for its state; the
    // system and administrators may do anything with it.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x100001;;;WD)",
                                                         SDDL_REVISION_1, &descriptor, nullptr);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    // Opening a mark another program made asks only for what everyone has.
    HANDLE mark = CreateMutexExW(descriptor ? &attributes : nullptr, kRunningMarkName, 0, SYNCHRONIZE);
    if (!mark) mark = CreateMutexExW(nullptr, kRunningMarkSessionName, 0, SYNCHRONIZE);
    if (descriptor) LocalFree(descriptor);
    // The handle stays open on purpose until the process ends.
    (void)mark;
}

}  // namespace core
