#include "core/platform/running_mark.h"

namespace core {

// Nothing to hold: see the header.
void HoldRunningMark() {}

}  // namespace core
