#include "core/realtime/avrt_calls_win32.h"

namespace core {

AvrtCalls::AvrtCalls() {
    static const HMODULE avrt = LoadLibraryW(L"avrt.dll");
    if (!avrt) return;
    setMmThreadCharacteristics = reinterpret_cast<decltype(setMmThreadCharacteristics)>(
        reinterpret_cast<void*>(GetProcAddress(avrt, "AvSetMmThreadCharacteristicsW")));
    revertMmThreadCharacteristics = reinterpret_cast<decltype(revertMmThreadCharacteristics)>(
        reinterpret_cast<void*>(GetProcAddress(avrt, "AvRevertMmThreadCharacteristics")));
    if (!setMmThreadCharacteristics || !revertMmThreadCharacteristics) {
        setMmThreadCharacteristics = nullptr;
        revertMmThreadCharacteristics = nullptr;
    }
}

AvrtCalls& Avrt() {
    static AvrtCalls calls;
    return calls;
}

}  // namespace core
