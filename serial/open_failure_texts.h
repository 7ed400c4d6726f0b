// The English texts that explain a failed opening, a row a kind, for each
// platform: both tables are built everywhere, so that the catalogs are
// checked for both, and each platform's file says which one is its own.
#pragma once

#include <span>

#include "serial/open_failure.h"

namespace serial {

struct FailureTexts {
    OpenFailureKind kind;
    const char* reason;  // null: the system's text for the code
    const char* advice;
    const char* commandHint;
};

std::span<const FailureTexts> PosixFailureTexts();
std::span<const FailureTexts> WindowsFailureTexts();
// The table of the platform the program runs on.
std::span<const FailureTexts> PlatformFailureTexts();

}  // namespace serial
