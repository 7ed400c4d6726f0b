#include <fcntl.h>

#include "core/platform/file_open.h"

namespace core {

int OpenFileForReading(const std::string& name) { return ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); }

int CreateFileForWriting(const std::string& name) {
    return ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}

}  // namespace core
