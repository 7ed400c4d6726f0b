#include "report/append_file.h"

#include <algorithm>

namespace report {

namespace {
// How far the first line and a cut last line are looked for: far beyond any record.
constexpr std::uint64_t kMostLine = 64 * 1024;
}  // namespace

WriteFailure AppendRecord(const std::string& path, const ComposeAppend& compose) {
    WriteFailure failure;
    const std::unique_ptr<LockedAppendFile> file = OpenLockedAppendFile(path, failure);
    if (!file) return failure;
    std::uint64_t size = 0;
    if (failure = file->Size(size); failure.Failed()) return failure;
    AppendPoint at;
    std::string head, tail;
    if (size > 0) {
        at.empty = false;
        if (failure = file->ReadAt(0, static_cast<std::size_t>(std::min(size, kMostLine)), head); failure.Failed())
            return failure;
        at.firstLine = std::string_view(head).substr(0, head.find('\n') == std::string::npos ? head.size()
                                                                                            : head.find('\n') + 1);
        const std::uint64_t from = size - std::min(size, kMostLine);
        if (failure = file->ReadAt(from, static_cast<std::size_t>(size - from), tail); failure.Failed())
            return failure;
        if (tail.back() != '\n') at.cutLine = std::string_view(tail).substr(tail.find_last_of('\n') + 1);
    }
    std::string refusal;
    const std::string text = compose(at, refusal);
    if (!refusal.empty()) return {WriteFault::Other, refusal};
    return file->Append(text, size);
}

std::string MakeFolders(const std::string& folder) { return CreateFolders(folder).reason; }

}  // namespace report
