// std::mutex and std::condition_variable for the test framework, built on the Windows primitives.
// Contract: force-included into the test framework and the tests only; the win32-thread cross compiler lacks both;
// only what the framework uses (lock, unlock, notify_all, wait with a predicate).
#pragma once
#include <windows.h>
#include <mutex>

#if !defined(_GLIBCXX_HAS_GTHREADS)
namespace std {

class mutex {
public:
    mutex() { InitializeSRWLock(&lock_); }
    mutex(const mutex&) = delete;
    mutex& operator=(const mutex&) = delete;
    void lock() { AcquireSRWLockExclusive(&lock_); }
    void unlock() { ReleaseSRWLockExclusive(&lock_); }
    SRWLOCK lock_;
};

class condition_variable {
public:
    condition_variable() { InitializeConditionVariable(&cv_); }
    void notify_all() { WakeAllConditionVariable(&cv_); }
    template <class Predicate>
    void wait(unique_lock<mutex>& lock, Predicate ready) {
        while (!ready()) SleepConditionVariableSRW(&cv_, &lock.mutex()->lock_, INFINITE, 0);
    }

private:
    CONDITION_VARIABLE cv_;
};

}  // namespace std
#endif
