#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "localization/mapped_file.h"

namespace localization {

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool MappedFile::Open(const std::string& path) {
    file_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    return file_ >= 0;
}

std::optional<std::uint64_t> MappedFile::RegularFileSize() const {
    struct stat st {};
    if (::fstat(static_cast<int>(file_), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

bool MappedFile::Map(std::string& reason) {
    const auto size = RegularFileSize();
    void* view = size ? ::mmap(nullptr, static_cast<std::size_t>(*size), PROT_READ, MAP_SHARED,
                               static_cast<int>(file_), 0)
                      : MAP_FAILED;
    if (view == MAP_FAILED) {
        reason = std::strerror(errno);
        return false;
    }
    view_ = view;
    size_ = static_cast<std::size_t>(*size);
    return true;
}

void MappedFile::Close() {
    if (view_) ::munmap(view_, size_);
    if (file_ >= 0) ::close(static_cast<int>(file_));
    view_ = nullptr;
    size_ = 0;
    file_ = -1;
}

}  // namespace localization
