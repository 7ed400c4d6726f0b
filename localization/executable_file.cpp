#include <algorithm>
#include <vector>

#include "localization/executable_file.h"

namespace localization {

namespace {
constexpr std::size_t kChunk = 1 << 20;
}

bool ReadOnlyFile::ReadAt(std::uint64_t position, void* out, std::size_t count) const {
    auto* p = static_cast<unsigned char*>(out);
    while (count > 0) {
        const long long got = ReadSome(position, p, count);
        if (got <= 0) return false;
        p += got;
        position += static_cast<std::uint64_t>(got);
        count -= static_cast<std::size_t>(got);
    }
    return true;
}

long long ReadOnlyFile::Find(std::string_view pattern) const {
    std::vector<char> buffer(kChunk + pattern.size());
    std::uint64_t position = 0;
    std::size_t kept = 0;
    for (;;) {
        const long long got = ReadSome(position + kept, buffer.data() + kept, kChunk);
        if (got <= 0) return -1;
        const std::size_t have = kept + static_cast<std::size_t>(got);
        const auto end = buffer.begin() + static_cast<std::ptrdiff_t>(have);
        const auto hit = std::search(buffer.begin(), end, pattern.begin(), pattern.end());
        if (hit != end) return static_cast<long long>(position + static_cast<std::uint64_t>(hit - buffer.begin()));
        // Keep the tail that could start a match across the chunk border.
        const std::size_t tail = std::min(have, pattern.size() - 1);
        std::copy(end - static_cast<std::ptrdiff_t>(tail), end, buffer.begin());
        position += have - tail;
        kept = tail;
    }
}

}  // namespace localization
