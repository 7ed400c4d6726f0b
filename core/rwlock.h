// Many readers or one writer.
#pragma once

#include <shared_mutex>

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
    std::shared_mutex mutex_;
};

}  // namespace core
