// SPDX-License-Identifier: Apache-2.0
// Thin OS layer over POSIX threads: threads, recursive critical sections, events and time-outs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

/// Status of every xnOS call: 0 on success, one of the non-zero codes below otherwise.
using XnStatus = int32_t;

enum : XnStatus
{
    XN_OS_OK = 0,
    XN_OS_ERR_NULL_ARG = 1,      ///< a required pointer or handle was null
    XN_OS_ERR_NO_MEMORY = 2,     ///< the handle could not be allocated
    XN_OS_ERR_THREAD_CREATE = 3, ///< the OS refused to create the thread
    XN_OS_ERR_TIMEOUT = 4,       ///< the deadline passed before the thread ended or the event was set
    XN_OS_ERR_JOIN = 5,          ///< joining failed for another reason
    XN_OS_ERR_DEADLOCK = 6,      ///< a thread tried to join or cancel itself
    XN_OS_ERR_MUTEX = 7,         ///< a mutex or condition variable could not be created or used
    XN_OS_ERR_CLOCK = 8,         ///< the clock could not be read
};

/// Time-out value meaning "wait forever".
constexpr uint32_t XN_WAIT_INFINITE = 0xFFFFFFFFu;

/// How long a cancelled thread is given to unwind before its handle is abandoned.
constexpr uint32_t XN_OS_TERMINATE_WAIT_MS = 1155;

struct XnThread;
struct XnCriticalSection;
struct XnEvent;

using XN_THREAD_HANDLE = XnThread *;
using XN_CRITICAL_SECTION_HANDLE = XnCriticalSection *;
using XN_EVENT_HANDLE = XnEvent *;
using XN_THREAD_PROC = void *(*)(void *);

// Threads. A handle owns the joinable OS thread until it is joined, cancelled or closed; closing an
// unjoined handle detaches the thread so its resources are reclaimed when it ends.
XnStatus xnOSCreateThread(XN_THREAD_PROC entry, void *arg, XN_THREAD_HANDLE *handle);
XnStatus xnOSWaitForThreadExit(XN_THREAD_HANDLE handle, uint32_t timeoutMs);
XnStatus xnOSTerminateThread(XN_THREAD_HANDLE *handle);
XnStatus xnOSCloseThread(XN_THREAD_HANDLE *handle);

// Recursive critical sections: the owning thread may enter again without blocking.
XnStatus xnOSCreateCriticalSection(XN_CRITICAL_SECTION_HANDLE *cs);
XnStatus xnOSCloseCriticalSection(XN_CRITICAL_SECTION_HANDLE *cs);
XnStatus xnOSEnterCriticalSection(XN_CRITICAL_SECTION_HANDLE *cs);
XnStatus xnOSLeaveCriticalSection(XN_CRITICAL_SECTION_HANDLE *cs);

// Events. Waits measure their time-out on the monotonic clock, so wall-clock adjustments neither cut
// them short nor stretch them.
XnStatus xnOSCreateEvent(XN_EVENT_HANDLE *event, bool manualReset);
XnStatus xnOSSetEvent(XN_EVENT_HANDLE event);
/// Clears the flag; only manual-reset events need it.
XnStatus xnOSResetEvent(XN_EVENT_HANDLE event);
XnStatus xnOSWaitEvent(XN_EVENT_HANDLE event, uint32_t timeoutMs);
XnStatus xnOSCloseEvent(XN_EVENT_HANDLE *event);

// Time.
/// Wall-clock now + timeoutMs as an absolute deadline (the form timed joins expect).
XnStatus xnOSGetAbsTimeout(struct timespec *deadline, uint32_t timeoutMs);
/// base + timeoutMs with tv_nsec kept below one second.
struct timespec xnOSTimespecAddMs(const struct timespec &base, uint32_t timeoutMs);
/// Records the process start time once; later calls keep the first value.
XnStatus xnOSTimeInit();
/// Milliseconds on the monotonic clock since xnOSTimeInit.
XnStatus xnOSGetTimeStampMs(uint64_t *timestampMs);

// Heap.
void *xnOSMalloc(size_t sizeBytes);
void xnOSFree(void *ptr);
