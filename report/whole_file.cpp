#include "report/whole_file.h"

#include <cerrno>
#include <cstdio>
#include <random>

#include "core/platform/builtin_text.h"
#include "core/platform/exception.h"
#include "core/platform/file_failure.h"
#include "core/platform/text_file.h"
#include "core/text/format.h"

namespace report {

namespace {

// A new name is tried again only when another file took the one drawn.
constexpr int kNameTries = 8;

// Hidden beside the file and named after the program, so that one a power
// loss left behind is told for what it is.
std::string NewFileName(std::mt19937& draw) {
    char name[32];
    std::snprintf(name, sizeof name, ".pumpdiag-%08x.part", static_cast<unsigned>(draw()));
    return name;
}

[[noreturn]] void RaiseCreateError(const std::string& path, int error) {
    throw core::EFCreateError(core::FileErrorMessage(
        core::FormatText(core::LoadBuiltInText(&core::SFCreateError), {path}), path, error, true));
}

}  // namespace

void WriteFileWhole(const std::string& path, std::string_view bytes) {
    if (whole_file::IsDevice(path)) return core::WriteWholeTextFile(path, bytes);
    std::mt19937 draw{std::random_device{}()};
    for (int attempt = 1;; ++attempt) {
        const std::string part = whole_file::Beside(path, NewFileName(draw));
        int error = whole_file::WriteNew(part, bytes);
        // Another file has the name drawn: it is not ours to remove.
        if (error == EEXIST) {
            if (attempt < kNameTries) continue;
            RaiseCreateError(path, error);
        }
        if (error == 0) error = whole_file::Replace(part, path);
        if (error == 0) return;
        whole_file::Remove(part);
        RaiseCreateError(path, error);
    }
}

}  // namespace report
