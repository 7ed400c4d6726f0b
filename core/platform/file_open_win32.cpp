#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include "core/platform/file_open.h"
#include "core/text/win32_text.h"

namespace core {

// Binary: the C library would otherwise turn CR LF into LF and stop at ^Z.
int OpenFileForReading(const std::string& name) {
    return ::_wopen(WideText(name).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

int CreateFileForWriting(const std::string& name) {
    return ::_wopen(WideText(name).c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT,
                    _S_IREAD | _S_IWRITE);
}

}  // namespace core
