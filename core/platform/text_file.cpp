#include "core/platform/text_file.h"

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

[[noreturn]] void RaiseOpenError(const std::string& name) {
    throw EFOpenError(FormatText(LoadBuiltInText(&SFOpenError), {name}));
}

[[noreturn]] void RaiseCreateError(const std::string& name) {
    throw EFCreateError(FormatText(LoadBuiltInText(&SFCreateError), {name}));
}

struct Fd {
    int fd;
    ~Fd() { if (fd >= 0) ::close(fd); }
};

}  // namespace

std::string ReadWholeTextFile(const std::string& name, std::size_t maxBytes, bool* exceeded) {
    if (exceeded) *exceeded = false;
    Fd file{OpenFileForReading(name)};
    if (file.fd < 0) RaiseOpenError(name);
    struct stat st{};
    // Only regular files: a FIFO or device would block or never end.
    if (::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode)) RaiseOpenError(name);
    std::string text;
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(file.fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            RaiseOpenError(name);
        }
        if (n == 0) break;
        std::string_view chunk(buf, static_cast<size_t>(n));
        size_t zero = chunk.find('\0');
        bool ended = zero != std::string_view::npos;
        if (ended) chunk = chunk.substr(0, zero);
        if (text.size() + chunk.size() > maxBytes) {
            text.append(chunk.substr(0, maxBytes - text.size()));
            if (exceeded) *exceeded = true;
            return text;
        }
        text.append(chunk);
        if (ended) break;
    }
    return text;
}

void WriteWholeTextFile(const std::string& name, std::string_view bytes) {
    Fd file{CreateFileForWriting(name)};
    if (file.fd < 0) RaiseCreateError(name);
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(file.fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            RaiseCreateError(name);
        }
        done += static_cast<size_t>(n);
    }
    int fd = file.fd;
    file.fd = -1;
    if (::close(fd) != 0) RaiseCreateError(name);
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    size_t start = 0;
    size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.emplace_back(text.substr(start, i - start));
            i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

std::string NormalizeLineEnds(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace core
