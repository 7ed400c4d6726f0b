#include "core/stores/store_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "core/platform/builtin_text.h"
#include "core/platform/exception.h"
#include "core/platform/file_open.h"
#include "core/text/format.h"

namespace core {

namespace {

struct Fd {
    int fd;
    ~Fd() { if (fd >= 0) ::close(fd); }
};

[[noreturn]] void RaiseOpenError(const std::string& name) {
    throw EFOpenError(FormatText(LoadBuiltInText(&SFOpenError), {name}));
}

}  // namespace

std::optional<std::string> ReadStoreFile(const std::string& name) {
    // Non-blocking open: a FIFO under the name must not stall the caller.
    Fd file{OpenFileForReading(name)};
    if (file.fd < 0) {
        if (errno == ENOENT) return std::nullopt;
        RaiseOpenError(name);
    }
    struct stat st{};
    if (::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode)) RaiseOpenError(name);
    if (static_cast<std::size_t>(st.st_size) > kMaxStoreFileBytes) RaiseOpenError(name);
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(file.fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            RaiseOpenError(name);
        }
        if (n == 0) break;
        bytes.append(buf, static_cast<std::size_t>(n));
        // The file may grow while it is read.
        if (bytes.size() > kMaxStoreFileBytes) RaiseOpenError(name);
    }
    return bytes;
}

}  // namespace core
