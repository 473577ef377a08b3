// A mutex and its scoped lock that clang's -Wthread-safety can follow: a
// member declared SG_GUARDED_BY(m_mutex) is touched only with m_mutex
// held, and a function declared SG_REQUIRES(m_mutex) is called only so,
// or the build fails. Other compilers see plain std::mutex.
#pragma once

#include <condition_variable>
#include <mutex>

#if defined(__clang__)
#define SG_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define SG_THREAD_ANNOTATION(x)
#endif

#define SG_CAPABILITY(x) SG_THREAD_ANNOTATION(capability(x))
#define SG_SCOPED_CAPABILITY SG_THREAD_ANNOTATION(scoped_lockable)
#define SG_GUARDED_BY(x) SG_THREAD_ANNOTATION(guarded_by(x))
#define SG_PT_GUARDED_BY(x) SG_THREAD_ANNOTATION(pt_guarded_by(x))
#define SG_REQUIRES(...) SG_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define SG_EXCLUDES(...) SG_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define SG_ACQUIRE(...) SG_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define SG_RELEASE(...) SG_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define SG_ACQUIRED_BEFORE(...) SG_THREAD_ANNOTATION(acquired_before(__VA_ARGS__))
#define SG_NO_THREAD_SAFETY_ANALYSIS SG_THREAD_ANNOTATION(no_thread_safety_analysis)

namespace sg {

class SG_CAPABILITY("mutex") Mutex {
 public:
  void lock() SG_ACQUIRE() { m_mutex.lock(); }
  void unlock() SG_RELEASE() { m_mutex.unlock(); }

 private:
  friend class MutexLock;
  std::mutex m_mutex;
};

// Holds a Mutex for its scope. waitUntil() gives the mutex up while it
// sleeps, as std::condition_variable does, and holds it again when it
// returns, which is all the analysis needs to know. Callers loop on their
// condition: a predicate lambda would be checked as a function of its own
// that holds nothing.
class SG_SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) SG_ACQUIRE(mutex) : m_lock(mutex.m_mutex) {}
  ~MutexLock() SG_RELEASE() {}
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

  void unlock() SG_RELEASE() { m_lock.unlock(); }
  void lock() SG_ACQUIRE() { m_lock.lock(); }

  // Runs f with the mutex given up, and holds it again afterwards.
  template <class F>
  void whileUnlocked(F&& f) {
    m_lock.unlock();
    f();
    m_lock.lock();
  }

  // Sleeps until woken or the deadline; false once the deadline passed.
  template <class TimePoint>
  bool waitUntil(std::condition_variable& cv, const TimePoint& deadline) {
    return cv.wait_until(m_lock, deadline) == std::cv_status::no_timeout;
  }

 private:
  std::unique_lock<std::mutex> m_lock;
};

}  // namespace sg
