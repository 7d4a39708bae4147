// SPDX-License-Identifier: Apache-2.0
// Tests of the OS layer: events and time-outs (its threads are exercised through StoppableThreadTest).
#include "runtime/XnOS.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

TEST(XnOSEventTest, AutoResetSatisfiesOneWaitManualResetStaysSetUntilReset)
{
    XN_EVENT_HANDLE autoReset = nullptr;
    XN_EVENT_HANDLE manual = nullptr;
    ASSERT_EQ(xnOSCreateEvent(&autoReset, false), XN_OS_OK);
    ASSERT_EQ(xnOSCreateEvent(&manual, true), XN_OS_OK);
    EXPECT_EQ(xnOSWaitEvent(autoReset, 0), XN_OS_ERR_TIMEOUT) << "a new event starts cleared";
    EXPECT_EQ(xnOSSetEvent(autoReset), XN_OS_OK);
    EXPECT_EQ(xnOSSetEvent(autoReset), XN_OS_OK);
    EXPECT_EQ(xnOSWaitEvent(autoReset, 0), XN_OS_OK);
    EXPECT_EQ(xnOSWaitEvent(autoReset, 20), XN_OS_ERR_TIMEOUT) << "two sets satisfied two waits";

    xnOSSetEvent(manual);
    EXPECT_EQ(xnOSWaitEvent(manual, 0), XN_OS_OK);
    EXPECT_EQ(xnOSWaitEvent(manual, 0), XN_OS_OK);
    EXPECT_EQ(xnOSResetEvent(manual), XN_OS_OK);
    EXPECT_EQ(xnOSWaitEvent(manual, 0), XN_OS_ERR_TIMEOUT);

    // A set from another thread wakes an infinite wait.
    std::atomic<XnStatus> waitStatus{-1};
    std::thread waiter([&] { waitStatus = xnOSWaitEvent(autoReset, XN_WAIT_INFINITE); });
    xnOSSetEvent(autoReset);
    waiter.join();
    EXPECT_EQ(waitStatus, XN_OS_OK);
    xnOSCloseEvent(&autoReset);
    xnOSCloseEvent(&manual);
}

TEST(XnOSTimeTest, AddingMillisecondsKeepsNanosecondsBelowOneSecond)
{
    struct Row
    {
        struct timespec base;
        uint32_t timeoutMs;
        struct timespec expected;
    };
    const Row rows[] = {{{10, 0}, 0, {10, 0}},
                        {{10, 0}, 1500, {11, 500000000}},
                        {{5, 999999999}, 1, {6, 999999}},
                        {{5, 999000000}, 1, {6, 0}},
                        {{5, 500000000}, 999, {6, 499000000}},
                        {{0, 0}, 0xFFFFFFFEu, {4294967, 294000000}}};
    for (const Row &row : rows) {
        SCOPED_TRACE(::testing::Message()
                     << row.base.tv_sec << "." << row.base.tv_nsec << " + " << row.timeoutMs);
        const struct timespec result = xnOSTimespecAddMs(row.base, row.timeoutMs);
        EXPECT_EQ(result.tv_sec, row.expected.tv_sec);
        EXPECT_EQ(result.tv_nsec, row.expected.tv_nsec);
    }
}

} // namespace
