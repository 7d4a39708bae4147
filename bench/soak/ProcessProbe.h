// SPDX-License-Identifier: Apache-2.0
// Readings of this process from /proc: CPU time, resident memory, threads, descriptors, CPU per thread.
#pragma once

#include <string>
#include <vector>

/// One reading of this process.
struct ProcessSample
{
    double atSeconds = 0.0;  // since the measurement started
    double cpuSeconds = 0.0; // user and system, all threads
    double rssMb = 0.0;
    int threads = 0;
    int descriptors = 0;
    double childCpuSeconds = 0.0; // the simulator processes, filled by the caller
};

/// CPU time of one thread of this process, and the system call it sits in ("running" when none).
struct ThreadCpu
{
    int tid = 0;
    double cpuSeconds = 0.0;
    std::string waitsIn;
};

class ProcessProbe
{
public:
    static ProcessSample Take();

    /// Every thread of this process with its CPU time so far, in the order the threads were created.
    static std::vector<ThreadCpu> Threads();

    /// The machine's load averages and this process's scheduling group, for the record of a run.
    static std::string MachineLoad();

    /// User plus system CPU seconds from a /proc .../stat file, 0 when it cannot be read.
    static double StatCpuSeconds(const std::string &statPath);
};
