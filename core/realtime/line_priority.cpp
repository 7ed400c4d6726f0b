#include "core/realtime/line_priority.h"

namespace core {

const char* NoRealTimeText(NoRealTime why) {
    switch (why) {
        case NoRealTime::None: return "";
        case NoRealTime::NoService:
            return "this user may not raise it, and no real-time service answered";
        case NoRealTime::Refused:
            return "the real-time service refused it (it grants each user only so many requests in 20 s)";
        case NoRealTime::CpuLimit:
            return "the inherited limit on real-time processor time is too small to stop a runaway thread safely";
        case NoRealTime::NotGranted: return "the system did not grant it";
        case NoRealTime::Lowered: return "a line thread computed too long without a pause and was lowered";
    }
    return "";
}

}  // namespace core
