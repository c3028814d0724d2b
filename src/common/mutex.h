// The project's mutex: std::mutex with the annotations that let Clang check
// every lock contract (see thread_annotations.h). Lock it through MutexLock.
#pragma once

#include <mutex>

#include "common/thread_annotations.h"

namespace vorpel {

class CAPABILITY("mutex") Mutex {
public:
    void lock() ACQUIRE() { mutex_.lock(); }
    void unlock() RELEASE() { mutex_.unlock(); }
    // Tells the analysis that the caller holds this mutex, where the call came
    // through an interface the analysis cannot follow. No run-time check.
    void assertHeld() const ASSERT_CAPABILITY(this) {}

private:
    std::mutex mutex_;
};

// Holds a Mutex for its scope.
class SCOPED_CAPABILITY MutexLock {
public:
    explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : mutex_(mutex) { mutex_.lock(); }
    ~MutexLock() RELEASE() { mutex_.unlock(); }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

private:
    Mutex& mutex_;
};

}  // namespace vorpel
