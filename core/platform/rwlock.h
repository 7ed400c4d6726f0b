// Many readers or one writer.
#pragma once

// The platform's lock, from core/posix/ or core/win32/ (CMake picks the folder).
#include "rwlock_native.h"

namespace core {

class TMultiReadExclusiveWriteSynchronizer {
public:
    void BeginRead() { mutex_.lock_shared(); }
    void EndRead() { mutex_.unlock_shared(); }
    void BeginWrite() { mutex_.lock(); }
    void EndWrite() { mutex_.unlock(); }

    // For std::shared_lock / std::unique_lock.
    void lock_shared() { BeginRead(); }
    void unlock_shared() { EndRead(); }
    void lock() { BeginWrite(); }
    void unlock() { EndWrite(); }

private:
    NativeRwLock mutex_;
};

}  // namespace core
