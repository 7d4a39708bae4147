// SPDX-License-Identifier: Apache-2.0
// Mutex and MutexLock: std::mutex and its scoped lock, annotated for clang's thread-safety analysis, with
// the annotation macros (GUARDED_BY, REQUIRES, ...) the library's classes use to name their locks.
#pragma once

#include <mutex>

#if defined(__clang__)
#define ORVANE_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define ORVANE_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(x) ORVANE_THREAD_ANNOTATION(capability(x))
#define SCOPED_CAPABILITY ORVANE_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(x) ORVANE_THREAD_ANNOTATION(guarded_by(x))
#define PT_GUARDED_BY(x) ORVANE_THREAD_ANNOTATION(pt_guarded_by(x))
#define REQUIRES(...) ORVANE_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define ACQUIRE(...) ORVANE_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) ORVANE_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define EXCLUDES(...) ORVANE_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define NO_THREAD_SAFETY_ANALYSIS ORVANE_THREAD_ANNOTATION(no_thread_safety_analysis)

/// A std::mutex the analysis knows as a lock. Lock it through MutexLock; a condition variable waits on
/// MutexLock::Native(). A predicate that reads guarded members says so: `[this]() REQUIRES(m_mutex)`.
class CAPABILITY("mutex") Mutex
{
public:
    void lock() ACQUIRE() { m_mutex.lock(); }
    void unlock() RELEASE() { m_mutex.unlock(); }
    std::mutex &Native() { return m_mutex; }

private:
    std::mutex m_mutex;
};

/// Holds a Mutex for its scope.
class SCOPED_CAPABILITY MutexLock
{
public:
    explicit MutexLock(Mutex &mutex) ACQUIRE(mutex) : m_lock(mutex.Native()) {}
    ~MutexLock() RELEASE() {}
    MutexLock(const MutexLock &) = delete;
    MutexLock &operator=(const MutexLock &) = delete;

    /// Lets go early (for a call that must run without the lock) and takes it again.
    void Unlock() RELEASE() { m_lock.unlock(); }
    void Lock() ACQUIRE() { m_lock.lock(); }

    /// The underlying lock, for std::condition_variable waits (which release and retake it).
    std::unique_lock<std::mutex> &Native() { return m_lock; }

private:
    std::unique_lock<std::mutex> m_lock;
};
