// Shared by the fuzz targets: a scratch folder for the files the readers take,
// and a check that stops the run, so that the fuzzer keeps the input that
// broke a property as it keeps one that crashed.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include <unistd.h>

#define FUZZ_CHECK(condition) ((condition) ? (void)0 : ::fuzz::Fail(#condition, __FILE__, __LINE__))

namespace fuzz {

[[noreturn]] inline void Fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
    std::abort();
}

// A folder of this process's own under TMPDIR, removed at a normal exit. The
// name outlives the static destructors, since the removal runs after them.
inline const std::string& ScratchDir() {
    static const std::string& dir = *new std::string([] {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/pd-fuzz-XXXXXX";
        if (!::mkdtemp(pattern.data())) Fail("a scratch folder can be made", __FILE__, __LINE__);
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(ScratchDir(), ignored);
        });
        return pattern;
    }());
    return dir;
}

// Plain stream I/O, so that the checks do not rest on the code under test.
inline void WriteFile(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) Fail("the input file can be written", __FILE__, __LINE__);
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

}  // namespace fuzz
