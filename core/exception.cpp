#include "core/exception.h"

#include <cstring>

#include "core/builtin_text.h"
#include "core/format.h"

namespace core {

void RaiseLastOSError(int errorCode) {
    std::string text = FormatText(LoadBuiltInText(&SOSError), {errorCode, std::strerror(errorCode)});
    throw EOSError(text, errorCode);
}

}  // namespace core
