// std::mutex and std::condition_variable for the test framework, built on the Windows primitives.
// Contract: force-included into the test framework and the tests only; the win32-thread cross compiler lacks both.
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
  bool try_lock() { return TryAcquireSRWLockExclusive(&lock_) != 0; }
  SRWLOCK* native() { return &lock_; }

 private:
  SRWLOCK lock_;
};

class condition_variable {
 public:
  condition_variable() { InitializeConditionVariable(&cv_); }
  condition_variable(const condition_variable&) = delete;
  condition_variable& operator=(const condition_variable&) = delete;
  void notify_one() { WakeConditionVariable(&cv_); }
  void notify_all() { WakeAllConditionVariable(&cv_); }
  void wait(unique_lock<mutex>& lock) { SleepConditionVariableSRW(&cv_, lock.mutex()->native(), INFINITE, 0); }
  template <class Predicate>
  void wait(unique_lock<mutex>& lock, Predicate ready) {
    while (!ready()) wait(lock);
  }

 private:
  CONDITION_VARIABLE cv_;
};

}  // namespace std
#endif
