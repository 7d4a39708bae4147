// SPDX-License-Identifier: Apache-2.0
// Tests of the worker-thread base: start/stop/join, refused restarts, cancellation and prompt stops.
#include "runtime/StoppableThread.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <stdexcept>
#include <unistd.h>

using orvtest::LoggedHome;
using orvtest::WaitUntil;

namespace {

/// What a worker's Run did, kept outside the worker so it can be read after the worker is gone.
struct RunRecord
{
    std::atomic<int> runCalls{0};
    std::atomic<int> iterations{0};
    std::atomic<bool> returned{false};
    std::atomic<bool> unwound{false};
    std::atomic<bool> wokeEarly{false};
    std::atomic<int> firstShortWait{-1};
};

/// Sets a flag when destroyed, which also happens when cancellation unwinds the thread.
struct UnwindProbe
{
    std::atomic<bool> &flag;
    ~UnwindProbe() { flag = true; }
};

/// Runs the given body; stops and joins in its own destructor, before the body is destroyed.
class Worker : public StoppableThread
{
public:
    using Body = std::function<void(Worker &)>;
    Worker(const char *name, Body body) : StoppableThread(name), m_body(std::move(body)) {}
    ~Worker() override
    {
        Stop();
        Join();
    }
    bool Wait(unsigned timeoutMs) { return WaitForStop(timeoutMs); }

protected:
    void Run() override { m_body(*this); }

private:
    Body m_body;
};

/// A well-behaved body polling its stop request every millisecond.
Worker::Body Polling(RunRecord &record)
{
    return [&record](Worker &self) {
        ++record.runCalls;
        while (self.IsRunning()) {
            ++record.iterations;
            self.Wait(1);
        }
        record.returned = true;
    };
}

/// Blocks in a cancellation point and never looks at its stop request.
Worker::Body Stubborn(RunRecord &record)
{
    return [&record](Worker &) {
        UnwindProbe probe{record.unwound};
        ++record.runCalls;
        for (;;) {
            pause();
        }
    };
}

/// Sleeps long in WaitForStop, as the device manager does between rounds.
Worker::Body Sleepy(RunRecord &record)
{
    return [&record](Worker &self) {
        UnwindProbe probe{record.unwound};
        record.firstShortWait = self.Wait(1) ? 1 : 0;
        ++record.runCalls;
        while (self.IsRunning()) {
            if (self.Wait(60000)) {
                record.wokeEarly = true;
            }
        }
        record.returned = true;
    };
}

TEST(StoppableThreadTest, RunsUntilStoppedAndCanBeStartedAgainAfterJoin)
{
    RunRecord record;
    Worker worker("PollingWorker", Polling(record));
    EXPECT_FALSE(worker.IsRunning());
    for (int round = 1; round <= 2; ++round) {
        record.returned = false;
        EXPECT_EQ(worker.Start(), 0);
        EXPECT_TRUE(worker.IsRunning());
        ASSERT_TRUE(WaitUntil([&] { return record.runCalls == round && record.iterations > 0; }));
        worker.Stop();
        EXPECT_FALSE(worker.IsRunning());
        worker.Join();
        EXPECT_TRUE(record.returned) << "round " << round << ": Run did not return by itself";
    }
}

TEST(StoppableThreadTest, JoinCancelsWorkerThatIgnoresStopAfterTheJoinTimeout)
{
    LoggedHome home;
    RunRecord record;
    Worker worker("StubbornWorker", Stubborn(record));
    worker.Start();
    ASSERT_TRUE(WaitUntil([&] { return record.runCalls == 1; }));

    worker.Stop();
    const auto begin = std::chrono::steady_clock::now();
    worker.Join();
    const auto elapsed = std::chrono::steady_clock::now() - begin;

    EXPECT_GE(elapsed, std::chrono::milliseconds(1100));
    EXPECT_LT(elapsed, std::chrono::seconds(5));
    EXPECT_TRUE(record.unwound) << "the worker was not cancelled";
    EXPECT_FALSE(home.Logged("StubbornWorker Exit."));
    EXPECT_TRUE(home.Logged("StubbornWorker end"));
}

TEST(StoppableThreadTest, StopEndsALongWaitAtOnceWhileJoinAloneCancelsIt)
{
    for (const bool stopFirst : {true, false}) {
        SCOPED_TRACE(stopFirst ? "Stop, then Join" : "Join only");
        RunRecord record;
        Worker worker("SleepyWorker", Sleepy(record));
        worker.Start();
        ASSERT_TRUE(WaitUntil([&] { return record.runCalls == 1; }));
        EXPECT_EQ(record.firstShortWait, 0);
        if (stopFirst) {
            worker.Stop();
        }
        worker.Join();
        // Had the 60 s wait not ended on Stop, Join would have cancelled the worker instead.
        EXPECT_EQ(record.wokeEarly, stopFirst);
        EXPECT_EQ(record.returned, stopFirst);
        EXPECT_TRUE(record.unwound);
    }
}

TEST(StoppableThreadTest, ExceptionFromRunIsLoggedAndEndsOnlyTheThread)
{
    LoggedHome home;
    Worker worker("ThrowingWorker", [](Worker &) { throw std::runtime_error("camera went away"); });
    worker.Start();
    ASSERT_TRUE(WaitUntil([&] { return home.Logged("ThrowingWorker Exit."); }));
    EXPECT_TRUE(home.Logged("ThrowingWorker Run failed: camera went away"));
}

} // namespace
