// The few C library functions of POSIX that the shared test sources use for
// their scaffolding (temporary folders, environment variables), on Windows.
// Included ahead of every shared test source of the Windows build.
#pragma once

#include <direct.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>
#include <string>

inline char* mkdtemp(char* pattern) {
    static std::atomic<unsigned> serial{0};
    const std::size_t length = strlen(pattern);
    if (length < 6) return nullptr;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string unique = std::to_string((_getpid() * 7919u + serial++) % 1000000u);
        const std::string digits = std::string(6 - std::min<std::size_t>(6, unique.size()), '0') + unique;
        memcpy(pattern + length - 6, digits.data(), 6);
        if (_mkdir(pattern) == 0) return pattern;
    }
    return nullptr;
}

inline int setenv(const char* name, const char* value, int overwrite) {
    if (!overwrite && getenv(name)) return 0;
    return _putenv_s(name, value);
}

inline int unsetenv(const char* name) { return _putenv_s(name, ""); }
