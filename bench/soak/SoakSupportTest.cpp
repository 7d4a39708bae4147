// SPDX-License-Identifier: Apache-2.0
// Tests of what the soak programs' figures rest on: slopes and percentiles, the /proc readings of this
// process, and simulator children that end on every path.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <mutex>
#include <thread>
#include <vector>

#include "CamsimProcess.h"
#include "DiscoveryLock.h"
#include "ProcessProbe.h"
#include "SoakStats.h"
#include "ThreadLedger.h"

namespace {

TEST(SoakStats, SlopeIsTheLeastSquaresFitAndZeroWithoutSpread)
{
    struct Row
    {
        std::vector<double> x, y;
        double slope;
    };
    const Row rows[] = {
        {{0, 1, 2, 3}, {5, 5, 5, 5}, 0.0},
        {{0, 1, 2, 3}, {2, 5, 8, 11}, 3.0},
        {{0, 1, 2, 3, 4}, {1, 2.5, 1, 2.5, 1}, 0.0}, // noise symmetric about a flat line
        {{10, 20, 30}, {1, 0, -1}, -0.1},
        {{7}, {3}, 0.0},
        {{2, 2, 2}, {1, 5, 9}, 0.0},
        {{0, 1, 2}, {0, 1}, 1.0}, // only the pairs that exist
    };
    for (const Row &row : rows) {
        EXPECT_NEAR(soak::Slope(row.x, row.y), row.slope, 1e-9) << row.x.size() << " points";
    }
}

TEST(SoakStats, PercentileTakesTheNearestRankOfUnsortedValues)
{
    std::vector<double> values;
    for (int v = 100; v >= 1; --v) {
        values.push_back(v);
    }
    EXPECT_EQ(soak::Percentile(values, 0.0), 1.0);
    EXPECT_EQ(soak::Percentile(values, 1.0), 100.0);
    EXPECT_EQ(soak::Percentile(values, 0.99), 99.0);
    EXPECT_EQ(soak::Percentile(values, 2.0), 100.0);
    EXPECT_EQ(soak::Percentile({}, 0.5), 0.0);
}

TEST(ProcessProbe, FollowsDescriptorsThreadsAndMemory)
{
    const ProcessSample before = ProcessProbe::Take();
    std::vector<int> fds;
    for (int i = 0; i < 7; ++i) {
        fds.push_back(open("/dev/null", O_RDONLY | O_CLOEXEC));
    }
    std::mutex mutex;
    std::condition_variable wake;
    bool done = false;
    std::thread waiter([&] {
        std::unique_lock<std::mutex> lock(mutex);
        wake.wait(lock, [&] { return done; });
    });
    std::vector<char> block(64 << 20);
    std::memset(block.data(), 1, block.size());
    const ProcessSample after = ProcessProbe::Take();
    {
        std::lock_guard<std::mutex> lock(mutex);
        done = true;
    }
    wake.notify_all();
    waiter.join();
    for (const int fd : fds) {
        close(fd);
    }
    EXPECT_EQ(after.descriptors - before.descriptors, 7);
    EXPECT_EQ(after.threads - before.threads, 1);
    EXPECT_GT(after.rssMb - before.rssMb, 60.0);
    EXPECT_EQ(ProcessProbe::Take().descriptors, before.descriptors);
}

/// Spins until the calling thread has used `seconds` of CPU time, however busy the machine is.
void Spin(double seconds)
{
    timespec used{};
    while (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &used) == 0 &&
           static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) / 1e9 < seconds) {
    }
}

TEST(ProcessProbe, CountsTheCpuOfTheBusyThreadAndWhereAWaitingOneSits)
{
    std::atomic<int> tid{0};
    std::atomic<bool> spun{false};
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable wake;
    std::thread busy([&] {
        tid = gettid();
        Spin(0.2);
        std::unique_lock<std::mutex> lock(mutex);
        spun = true;
        wake.wait(lock, [&] { return stop.load(); });
    });
    while (!spun) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    double busyCpu = 0.0;
    for (const ThreadCpu &thread : ProcessProbe::Threads()) {
        busyCpu = thread.tid == tid ? thread.cpuSeconds : busyCpu;
    }
    std::string waitsIn;
    for (int tries = 0; tries < 200 && waitsIn != "futex"; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        for (const ThreadCpu &thread : ProcessProbe::Threads()) {
            waitsIn = thread.tid == tid ? thread.waitsIn : waitsIn;
        }
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        stop = true;
    }
    wake.notify_all();
    busy.join();
    EXPECT_NEAR(busyCpu, 0.2, 0.03); // the kernel counts in 10 ms ticks
    EXPECT_EQ(waitsIn, "futex");
    EXPECT_EQ(ProcessProbe::StatCpuSeconds("/proc/self/task/0/stat"), 0.0);
}

TEST(ThreadLedger, ChargesAThreadsCpuToTheStepThatCreatedIt)
{
    ThreadLedger ledger;
    ledger.Claim("test main");
    std::atomic<int> phase{0}; // 0 wait, 1 spin, 2 spun, 3 leave: a thread's CPU is read while it lives
    std::thread worker([&] {
        while (phase != 1) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        Spin(0.3);
        phase = 2;
        while (phase != 3) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    ledger.Claim("worker step");
    ledger.Begin();
    phase = 1;
    while (phase != 2) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ledger.End();
    phase = 3;
    worker.join();
    // Over one second of "run", 0.3 s of the worker's CPU is 30 % of one core, charged to its step.
    const std::string text = ledger.Describe(1.0, 10);
    const size_t byOwner = text.find("CPU by owner:");
    ASSERT_NE(byOwner, std::string::npos) << text;
    const size_t line = text.find("worker step", byOwner);
    ASSERT_NE(line, std::string::npos) << text;
    const double share = std::atof(text.c_str() + text.rfind('\n', line) + 1);
    EXPECT_NEAR(share, 30.0, 3.0) << text;
}

TEST(DiscoveryLock, ASecondHolderWaitsForTheFirst)
{
    const std::string path = testing::TempDir() + "soak-discovery.lock";
    DiscoveryLock first;
    ASSERT_TRUE(first.Acquire(path));
    std::atomic<bool> acquired{false};
    std::thread second([&] {
        DiscoveryLock lock;
        acquired = lock.Acquire(path);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(acquired.load());
    first.Release();
    second.join();
    EXPECT_TRUE(acquired.load());
    EXPECT_TRUE(first.Acquire("")); // no file, no lock
    EXPECT_FALSE(first.Acquire("/nonexistent-directory/soak.lock"));
}

bool Alive(pid_t pid)
{
    return kill(pid, 0) == 0;
}

TEST(CamsimProcess, AnswersCommandsAndEndsOnEveryPath)
{
    // A stand-in that answers like the simulator: "ready", then "ok" or an error per line, exit at end of
    // input.
    CamsimProcess polite;
    ASSERT_TRUE(
        polite.Start("/bin/sh", {"-c", "echo ready; while read l; do case $l in bad*) echo error: no;; "
                                       "*) echo ok;; esac; done"}));
    EXPECT_TRUE(polite.Command("list"));
    EXPECT_FALSE(polite.Command("bad command"));
    const pid_t politePid = polite.Pid();
    polite.Stop();
    EXPECT_FALSE(Alive(politePid));

    // One that ignores the end of its input and SIGTERM is killed within the stop's bound.
    CamsimProcess stubborn;
    ASSERT_TRUE(stubborn.Start("/bin/sh", {"-c", "trap '' TERM; echo ready; exec sleep 60"}));
    const pid_t stubbornPid = stubborn.Pid();
    const auto start = std::chrono::steady_clock::now();
    stubborn.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_FALSE(Alive(stubbornPid));

    // One that never gets ready is a failed start, and is reaped.
    CamsimProcess broken;
    EXPECT_FALSE(broken.Start("/bin/sh", {"-c", "echo starting; exit 3"}));
    broken.Stop();
    EXPECT_FALSE(broken.Command("list"));
}

} // namespace
