// The many-readers lock of POSIX builds: the C++ library's.
#pragma once

#include <shared_mutex>

namespace core {

using NativeRwLock = std::shared_mutex;

}  // namespace core
