#include "report/append_file.h"

#include <algorithm>

namespace report {

namespace {
// How far back a cut line is looked for: far beyond any record.
constexpr std::uint64_t kMostCutLine = 64 * 1024;
}  // namespace

std::string AppendRecord(const std::string& path, std::string_view head, std::string_view record,
                         const MendCutLine& mend) {
    std::string failure;
    const std::unique_ptr<LockedAppendFile> file = OpenLockedAppendFile(path, failure);
    if (!file) return failure;
    std::uint64_t size = 0;
    if (failure = file->Size(size); !failure.empty()) return failure;
    std::string text;
    if (size == 0) {
        text = head;
    } else {
        const std::uint64_t from = size - std::min(size, kMostCutLine);
        std::string tail;
        if (failure = file->ReadAt(from, static_cast<std::size_t>(size - from), tail); !failure.empty()) return failure;
        if (tail.back() != '\n') text = mend(std::string_view(tail).substr(tail.find_last_of('\n') + 1));
    }
    text += record;
    return file->Append(text, size);
}

}  // namespace report
