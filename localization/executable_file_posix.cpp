#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "localization/executable_file.h"

namespace localization {

std::string OwnExecutablePath() {
    std::string path(4096, '\0');
    ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= path.size()) return {};
    path.resize(static_cast<std::size_t>(n));
    return path;
}

long long OwnFilePosition(const void* address, std::size_t size) {
    struct Search {
        std::uintptr_t address;
        std::size_t size;
        long long position = -1;
    } search{reinterpret_cast<std::uintptr_t>(address), size};
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* data) -> int {
            auto* s = static_cast<Search*>(data);
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                const auto& segment = info->dlpi_phdr[i];
                if (segment.p_type != PT_LOAD) continue;
                const std::uintptr_t start = info->dlpi_addr + segment.p_vaddr;
                if (s->address >= start && s->address + s->size <= start + segment.p_filesz) {
                    s->position = static_cast<long long>(segment.p_offset + (s->address - start));
                    return 1;
                }
            }
            return 0;
        },
        &search);
    return search.position;
}

ReadOnlyFile::ReadOnlyFile(const std::string& path) : file_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}

ReadOnlyFile::~ReadOnlyFile() {
    if (file_ >= 0) ::close(static_cast<int>(file_));
}

bool ReadOnlyFile::IsOpen() const { return file_ >= 0; }

std::uint64_t ReadOnlyFile::Size() const {
    struct stat st {};
    return ::fstat(static_cast<int>(file_), &st) == 0 && st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

long long ReadOnlyFile::ReadSome(std::uint64_t position, void* out, std::size_t count) const {
    for (;;) {
        const ssize_t got = ::pread(static_cast<int>(file_), out, count, static_cast<off_t>(position));
        if (got < 0 && errno == EINTR) continue;
        return got;
    }
}

}  // namespace localization
