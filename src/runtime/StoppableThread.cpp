// SPDX-License-Identifier: Apache-2.0
// The worker-thread base: start, stop request, bounded join with cancellation, and the thread entry.
#include "runtime/StoppableThread.h"

#include "runtime/LogCustom.h"

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <cxxabi.h>
#include <exception>
#include <pthread.h>

StoppableThread::StoppableThread(const char *name) : m_name(name != nullptr ? name : "")
{
    const XnStatus status = xnOSCreateEvent(&m_stopEvent, true);
    if (status != XN_OS_OK) {
        TFLOG("%s xnOSCreateEvent is failed. ret:%d", m_name.c_str(), status);
    }
}

StoppableThread::~StoppableThread()
{
    if (IsRunning()) {
        Stop();
    }
    // Join also after a Stop without Join: the thread may still be inside Run, using this object.
    if (mPtrThreadHandle != nullptr) {
        Join();
    }
    if (m_stopEvent != nullptr) {
        xnOSCloseEvent(&m_stopEvent);
    }
}

int StoppableThread::Start()
{
    if (mPtrThreadHandle != nullptr) {
        TFLOG("Do not repeat invoke Start:%s, if not Stop previous.", m_name.c_str());
        return 0;
    }
    xnOSResetEvent(m_stopEvent);
    m_state = kStateRunning;
    const XnStatus status = xnOSCreateThread(&StoppableThread::ThreadFunc, this, &mPtrThreadHandle);
    if (status != XN_OS_OK) {
        const int err = errno;
        m_state = kStateNeverStarted;
        TFLOG("%s xnOSCreateThread is failed. ret:%d, error:%d", m_name.c_str(), status, err);
    }
    return 0;
}

void StoppableThread::Stop()
{
    TFLOG("%s mPtrThreadHandle:%d", m_name.c_str(), HandleId());
    m_state = kStateStopRequested;
    xnOSSetEvent(m_stopEvent);
}

void StoppableThread::Join()
{
    TFLOG("%s mPtrThreadHandle:%d begin", m_name.c_str(), HandleId());
    if (mPtrThreadHandle != nullptr) {
        const XnStatus status = xnOSWaitForThreadExit(mPtrThreadHandle, kJoinTimeoutMs);
        TFLOG("%s ret:%d", m_name.c_str(), status);
        // A thread joined from its own Run (a worker releasing itself) finishes on its own, like one
        // that ended in time; only one that outlived the time-out is terminated.
        if (status != XN_OS_OK && status != XN_OS_ERR_DEADLOCK) {
            xnOSTerminateThread(&mPtrThreadHandle);
        } else {
            xnOSCloseThread(&mPtrThreadHandle);
        }
        mPtrThreadHandle = nullptr;
    }
    TFLOG("%s end", m_name.c_str());
}

bool StoppableThread::WaitForStop(unsigned timeoutMs)
{
    if (!IsRunning()) {
        return true;
    }
    if (m_stopEvent != nullptr) {
        xnOSWaitEvent(m_stopEvent, timeoutMs);
        return !IsRunning();
    }
    // Without the event (its creation failed) sleep in short slices, still noticing a stop.
    constexpr unsigned kSliceMs = 10;
    for (unsigned waitedMs = 0; waitedMs < timeoutMs && IsRunning(); waitedMs += kSliceMs) {
        const unsigned sliceMs = timeoutMs - waitedMs < kSliceMs ? timeoutMs - waitedMs : kSliceMs;
        const struct timespec slice = {0, static_cast<long>(sliceMs) * 1000000L};
        nanosleep(&slice, nullptr);
    }
    return !IsRunning();
}

int StoppableThread::HandleId() const
{
    // Only an identifier for the log: the low bits of the handle address, 0 when there is no thread.
    return static_cast<int>(reinterpret_cast<std::uintptr_t>(mPtrThreadHandle));
}

// Cancellation unwinds with an exception that has no C++ object behind it, so binding the handler's
// reference trips the sanitizer's null-reference check although nothing is dereferenced.
__attribute__((no_sanitize("null"))) void *StoppableThread::ThreadFunc(void *param)
{
    if (param == nullptr) {
        TFLOG("pThreadParam:%p is invalid.", param);
        return nullptr;
    }
    auto *self = static_cast<StoppableThread *>(param);
    // The worker's name, cut to the 15 characters the kernel keeps, so top and /proc show who is busy.
    (void)pthread_setname_np(pthread_self(), self->m_name.substr(0, 15).c_str());
    try {
        self->Run();
    } catch (abi::__forced_unwind &) {
        // Cancellation by Join unwinds this thread; it must be allowed to continue.
        throw;
    } catch (const std::exception &e) {
        TFLOG("%s Run failed: %s", self->m_name.c_str(), e.what());
    } catch (...) {
        TFLOG("%s Run failed: unknown exception", self->m_name.c_str());
    }
    TFLOG("%s Exit.", self->m_name.c_str());
    return nullptr;
}
