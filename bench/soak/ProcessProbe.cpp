// SPDX-License-Identifier: Apache-2.0
// Readings of this process from /proc: CPU time, resident memory, threads, descriptors, CPU per thread.
#include "ProcessProbe.h"

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

std::string ReadFile(const std::string &path)
{
    std::ifstream file(path);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

/// The numeric entries of a /proc directory.
std::vector<int> NumericEntries(const char *path)
{
    std::vector<int> numbers;
    DIR *dir = opendir(path);
    if (dir == nullptr) {
        return numbers;
    }
    while (const dirent *entry = readdir(dir)) {
        char *end = nullptr;
        const long value = std::strtol(entry->d_name, &end, 10);
        if (end != entry->d_name && *end == '\0') {
            numbers.push_back(static_cast<int>(value));
        }
    }
    closedir(dir);
    return numbers;
}

/// The value after `key` in /proc/self/status ("VmRSS:   1234 kB" gives 1234).
long StatusField(const std::string &status, const std::string &key)
{
    const size_t at = status.find("\n" + key + ":");
    return at == std::string::npos ? 0 : std::strtol(status.c_str() + at + key.size() + 2, nullptr, 10);
}

/// The system call a thread sits in, by name for the ones a waiting thread uses; a socket read names
/// its descriptor's kind.
std::string WaitsIn(int tid)
{
    std::istringstream syscall(ReadFile("/proc/self/task/" + std::to_string(tid) + "/syscall"));
    std::string number;
    std::string firstArgument;
    if (!(syscall >> number >> firstArgument) || number == "running") {
        return "running";
    }
    static const std::pair<const char *, const char *> kNames[] = {
        {"0", "read"},      {"7", "poll"},    {"23", "select"},       {"45", "recvfrom"},
        {"47", "recvmsg"},  {"202", "futex"}, {"230", "nanosleep"},   {"232", "epoll_wait"},
        {"270", "pselect"}, {"271", "ppoll"}, {"281", "epoll_pwait"}, {"35", "nanosleep"},
    };
    for (const auto &[code, name] : kNames) {
        if (number == code) {
            const std::string text = name;
            if (text != "read" && text != "recvfrom" && text != "recvmsg") {
                return text;
            }
            char target[64] = {};
            const std::string link =
                "/proc/self/fd/" + std::to_string(std::strtol(firstArgument.c_str(), nullptr, 16));
            const ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
            const bool socket =
                length > 0 && std::string(target, static_cast<size_t>(length)).rfind("socket:", 0) == 0;
            return text + (socket ? " (socket)" : "");
        }
    }
    return "syscall " + number;
}

} // namespace

double ProcessProbe::StatCpuSeconds(const std::string &statPath)
{
    const std::string text = ReadFile(statPath);
    const size_t close = text.rfind(')');
    if (close == std::string::npos || close + 2 > text.size()) {
        return 0.0;
    }
    // After the name come the state (field 3) and more; utime and stime are fields 14 and 15.
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    unsigned long long ticks = 0;
    for (int index = 3; index <= 15 && fields >> field; ++index) {
        if (index >= 14) {
            ticks += std::strtoull(field.c_str(), nullptr, 10);
        }
    }
    return static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

ProcessSample ProcessProbe::Take()
{
    ProcessSample sample;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    sample.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                        static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    const std::string status = ReadFile("/proc/self/status");
    sample.rssMb = static_cast<double>(StatusField(status, "VmRSS")) / 1024.0;
    sample.threads = static_cast<int>(StatusField(status, "Threads"));
    // The directory listing itself holds one descriptor while it runs.
    sample.descriptors = static_cast<int>(NumericEntries("/proc/self/fd").size()) - 1;
    return sample;
}

std::vector<ThreadCpu> ProcessProbe::Threads()
{
    std::vector<ThreadCpu> threads;
    std::vector<int> tids = NumericEntries("/proc/self/task");
    std::sort(tids.begin(), tids.end());
    for (const int tid : tids) {
        const std::string stat = "/proc/self/task/" + std::to_string(tid) + "/stat";
        threads.push_back(ThreadCpu{tid, StatCpuSeconds(stat), WaitsIn(tid)});
    }
    return threads;
}

std::string ProcessProbe::MachineLoad()
{
    std::string load = ReadFile("/proc/loadavg");
    std::string group = ReadFile("/proc/self/autogroup");
    while (!load.empty() && load.back() == '\n') {
        load.pop_back();
    }
    while (!group.empty() && group.back() == '\n') {
        group.pop_back();
    }
    return "load " + load + "; scheduling group " + (group.empty() ? "none" : group);
}
