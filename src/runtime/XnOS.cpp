// SPDX-License-Identifier: Apache-2.0
// POSIX implementation of the xnOS threads, critical sections, events and time-outs.
#include "runtime/XnOS.h"

#include <cerrno>
#include <cstdlib>
#include <new>
#include <pthread.h>

struct XnThread
{
    pthread_t thread;
    bool joined = false;
};

struct XnCriticalSection
{
    pthread_mutex_t mutex;
};

struct XnEvent
{
    pthread_mutex_t mutex;
    pthread_cond_t cond;
    bool signaled = false;
    bool manualReset = false;
};

namespace {

constexpr long kNsPerSecond = 1000000000L;
constexpr long kNsPerMs = 1000000L;

// A thread cancelled inside pthread_cond_wait unwinds holding the mutex; this guard releases it.
class PthreadMutexGuard
{
public:
    explicit PthreadMutexGuard(pthread_mutex_t &mutex) : m_mutex(mutex) { pthread_mutex_lock(&m_mutex); }
    ~PthreadMutexGuard() { pthread_mutex_unlock(&m_mutex); }
    PthreadMutexGuard(const PthreadMutexGuard &) = delete;
    PthreadMutexGuard &operator=(const PthreadMutexGuard &) = delete;

private:
    pthread_mutex_t &m_mutex;
};

struct timespec g_startTime = {0, 0};
pthread_once_t g_startOnce = PTHREAD_ONCE_INIT;

void RecordStartTime()
{
    clock_gettime(CLOCK_MONOTONIC, &g_startTime);
}

// Runs before main so that time stamps count from process start.
const XnStatus g_timeInitStatus = xnOSTimeInit();

XnStatus JoinBefore(XnThread *handle, uint32_t timeoutMs)
{
    if (pthread_equal(handle->thread, pthread_self())) {
        return XN_OS_ERR_DEADLOCK;
    }
    int rc = 0;
    if (timeoutMs == XN_WAIT_INFINITE) {
        rc = pthread_join(handle->thread, nullptr);
    } else {
        struct timespec deadline;
        if (xnOSGetAbsTimeout(&deadline, timeoutMs) != XN_OS_OK) {
            return XN_OS_ERR_CLOCK;
        }
        rc = pthread_timedjoin_np(handle->thread, nullptr, &deadline);
    }
    if (rc == 0) {
        handle->joined = true;
        return XN_OS_OK;
    }
    if (rc == ETIMEDOUT) {
        return XN_OS_ERR_TIMEOUT;
    }
    return rc == EDEADLK ? XN_OS_ERR_DEADLOCK : XN_OS_ERR_JOIN;
}

void ReleaseThreadHandle(XN_THREAD_HANDLE *handle)
{
    if (!(*handle)->joined) {
        pthread_detach((*handle)->thread);
    }
    delete *handle;
    *handle = nullptr;
}

} // namespace

XnStatus xnOSCreateThread(XN_THREAD_PROC entry, void *arg, XN_THREAD_HANDLE *handle)
{
    if (entry == nullptr || handle == nullptr) {
        return XN_OS_ERR_NULL_ARG;
    }
    *handle = new (std::nothrow) XnThread;
    if (*handle == nullptr) {
        return XN_OS_ERR_NO_MEMORY;
    }
    if (pthread_create(&(*handle)->thread, nullptr, entry, arg) != 0) {
        delete *handle;
        *handle = nullptr;
        return XN_OS_ERR_THREAD_CREATE;
    }
    return XN_OS_OK;
}

XnStatus xnOSWaitForThreadExit(XN_THREAD_HANDLE handle, uint32_t timeoutMs)
{
    if (handle == nullptr) {
        return XN_OS_ERR_NULL_ARG;
    }
    if (handle->joined) {
        return XN_OS_OK;
    }
    return JoinBefore(handle, timeoutMs);
}

XnStatus xnOSTerminateThread(XN_THREAD_HANDLE *handle)
{
    if (handle == nullptr || *handle == nullptr) {
        return XN_OS_ERR_NULL_ARG;
    }
    XnStatus status = XN_OS_OK;
    if (!(*handle)->joined) {
        if (pthread_equal((*handle)->thread, pthread_self())) {
            status = XN_OS_ERR_DEADLOCK;
        } else {
            // A refused cancel means the thread has already ended: the join still reaps it.
            pthread_cancel((*handle)->thread);
            status = JoinBefore(*handle, XN_OS_TERMINATE_WAIT_MS);
        }
    }
    ReleaseThreadHandle(handle);
    return status;
}

XnStatus xnOSCloseThread(XN_THREAD_HANDLE *handle)
{
    if (handle == nullptr || *handle == nullptr) {
        return XN_OS_ERR_NULL_ARG;
    }
    ReleaseThreadHandle(handle);
    return XN_OS_OK;
}

XnStatus xnOSCreateCriticalSection(XN_CRITICAL_SECTION_HANDLE *cs)
{
    if (cs == nullptr) {
        return XN_OS_ERR_NULL_ARG;
    }
    *cs = new (std::nothrow) XnCriticalSection;
    if (*cs == nullptr) {
        return XN_OS_ERR_NO_MEMORY;
    }
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    const int rc = pthread_mutex_init(&(*cs)->mutex, &attr);
    pthread_mutexattr_destroy(&attr);
    if (rc != 0) {
        delete *cs;
        *cs = nullptr;
        return XN_OS_ERR_MUTEX;
    }
    return XN_OS_OK;
}

XnStatus xnOSCloseCriticalSection(XN_CRITICAL_SECTION_HANDLE *cs)
{
    if (cs == nullptr || *cs == nullptr) {
        return XN_OS_ERR_NULL_ARG;
    }
    pthread_mutex_destroy(&(*cs)->mutex);
    delete *cs;
    *cs = nullptr;
    return XN_OS_OK;
}

XnStatus xnOSEnterCriticalSection(XN_CRITICAL_SECTION_HANDLE *cs)
{
    if (cs == nullptr || *cs == nullptr) {
        return XN_OS_ERR_NULL_ARG;
    }
    return pthread_mutex_lock(&(*cs)->mutex) == 0 ? XN_OS_OK : XN_OS_ERR_MUTEX;
}

XnStatus xnOSLeaveCriticalSection(XN_CRITICAL_SECTION_HANDLE *cs)
{
    if (cs == nullptr || *cs == nullptr) {
        return XN_OS_ERR_NULL_ARG;
    }
    return pthread_mutex_unlock(&(*cs)->mutex) == 0 ? XN_OS_OK : XN_OS_ERR_MUTEX;
}

XnStatus xnOSCreateEvent(XN_EVENT_HANDLE *event, bool manualReset)
{
    if (event == nullptr) {
        return XN_OS_ERR_NULL_ARG;
    }
    *event = new (std::nothrow) XnEvent;
    if (*event == nullptr) {
        return XN_OS_ERR_NO_MEMORY;
    }
    (*event)->manualReset = manualReset;
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    const int condRc = pthread_cond_init(&(*event)->cond, &attr);
    pthread_condattr_destroy(&attr);
    const int mutexRc = condRc == 0 ? pthread_mutex_init(&(*event)->mutex, nullptr) : -1;
    if (condRc != 0 || mutexRc != 0) {
        if (condRc == 0) {
            pthread_cond_destroy(&(*event)->cond);
        }
        delete *event;
        *event = nullptr;
        return XN_OS_ERR_MUTEX;
    }
    return XN_OS_OK;
}

XnStatus xnOSSetEvent(XN_EVENT_HANDLE event)
{
    if (event == nullptr) {
        return XN_OS_ERR_NULL_ARG;
    }
    PthreadMutexGuard lock(event->mutex);
    event->signaled = true;
    pthread_cond_broadcast(&event->cond);
    return XN_OS_OK;
}

XnStatus xnOSResetEvent(XN_EVENT_HANDLE event)
{
    if (event == nullptr) {
        return XN_OS_ERR_NULL_ARG;
    }
    PthreadMutexGuard lock(event->mutex);
    event->signaled = false;
    return XN_OS_OK;
}

XnStatus xnOSWaitEvent(XN_EVENT_HANDLE event, uint32_t timeoutMs)
{
    if (event == nullptr) {
        return XN_OS_ERR_NULL_ARG;
    }
    struct timespec deadline = {0, 0};
    if (timeoutMs != XN_WAIT_INFINITE) {
        struct timespec now;
        if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) {
            return XN_OS_ERR_CLOCK;
        }
        deadline = xnOSTimespecAddMs(now, timeoutMs);
    }
    PthreadMutexGuard lock(event->mutex);
    while (!event->signaled) {
        const int rc = timeoutMs == XN_WAIT_INFINITE
                           ? pthread_cond_wait(&event->cond, &event->mutex)
                           : pthread_cond_timedwait(&event->cond, &event->mutex, &deadline);
        if (rc == ETIMEDOUT && !event->signaled) {
            return XN_OS_ERR_TIMEOUT;
        }
    }
    if (!event->manualReset) {
        event->signaled = false;
    }
    return XN_OS_OK;
}

XnStatus xnOSCloseEvent(XN_EVENT_HANDLE *event)
{
    if (event == nullptr || *event == nullptr) {
        return XN_OS_ERR_NULL_ARG;
    }
    pthread_cond_destroy(&(*event)->cond);
    pthread_mutex_destroy(&(*event)->mutex);
    delete *event;
    *event = nullptr;
    return XN_OS_OK;
}

struct timespec xnOSTimespecAddMs(const struct timespec &base, uint32_t timeoutMs)
{
    struct timespec result = base;
    result.tv_sec += static_cast<time_t>(timeoutMs / 1000u);
    result.tv_nsec += static_cast<long>(timeoutMs % 1000u) * kNsPerMs;
    // base may itself carry whole seconds in tv_nsec; fold all of them.
    result.tv_sec += static_cast<time_t>(result.tv_nsec / kNsPerSecond);
    result.tv_nsec %= kNsPerSecond;
    return result;
}

XnStatus xnOSGetAbsTimeout(struct timespec *deadline, uint32_t timeoutMs)
{
    if (deadline == nullptr) {
        return XN_OS_ERR_NULL_ARG;
    }
    struct timespec now;
    if (clock_gettime(CLOCK_REALTIME, &now) != 0) {
        return XN_OS_ERR_CLOCK;
    }
    *deadline = xnOSTimespecAddMs(now, timeoutMs);
    return XN_OS_OK;
}

XnStatus xnOSTimeInit()
{
    return pthread_once(&g_startOnce, RecordStartTime) == 0 ? XN_OS_OK : XN_OS_ERR_CLOCK;
}

XnStatus xnOSGetTimeStampMs(uint64_t *timestampMs)
{
    if (timestampMs == nullptr) {
        return XN_OS_ERR_NULL_ARG;
    }
    xnOSTimeInit();
    struct timespec now;
    if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) {
        return XN_OS_ERR_CLOCK;
    }
    const int64_t elapsedMs = static_cast<int64_t>(now.tv_sec - g_startTime.tv_sec) * 1000 +
                              (now.tv_nsec - g_startTime.tv_nsec) / kNsPerMs;
    *timestampMs = elapsedMs > 0 ? static_cast<uint64_t>(elapsedMs) : 0u;
    return XN_OS_OK;
}

void *xnOSMalloc(size_t sizeBytes)
{
    return std::malloc(sizeBytes);
}

void xnOSFree(void *ptr)
{
    std::free(ptr);
}
