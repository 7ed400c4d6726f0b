// The many-readers lock of Windows builds: the system's slim reader/writer
// lock. The C++ library's std::shared_mutex of the MinGW build rests on
// winpthreads' rwlock, which let a writer in beside readers under Wine
// (a reader crashed on a vector the writer had grown).
#pragma once

#include <windows.h>

namespace core {

class NativeRwLock {
public:
    NativeRwLock() = default;
    NativeRwLock(const NativeRwLock&) = delete;
    NativeRwLock& operator=(const NativeRwLock&) = delete;

    void lock_shared() { AcquireSRWLockShared(&lock_); }
    void unlock_shared() { ReleaseSRWLockShared(&lock_); }
    void lock() { AcquireSRWLockExclusive(&lock_); }
    void unlock() { ReleaseSRWLockExclusive(&lock_); }

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
};

}  // namespace core
