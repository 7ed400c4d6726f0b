#include "core/platform/exception.h"

#include <cstring>

#include "core/platform/builtin_text.h"
#include "core/text/format.h"

namespace core {

void RaiseLastOSError(int errorCode) {
    std::string text = FormatText(LoadBuiltInText(&SOSError), {errorCode, std::strerror(errorCode)});
    throw EOSError(text, errorCode);
}

}  // namespace core
