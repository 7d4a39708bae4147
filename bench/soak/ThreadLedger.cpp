// SPDX-License-Identifier: Apache-2.0
// Which part of the program each thread belongs to, and the CPU each used during a measurement: the
// library names no threads, so a thread is owned by the step that created it (initialise, open camera n).
#include "ThreadLedger.h"

#include <algorithm>
#include <cstdio>

#include "ProcessProbe.h"

void ThreadLedger::Claim(const std::string &owner)
{
    int index = 0;
    for (const ThreadCpu &thread : ProcessProbe::Threads()) {
        if (m_owners.count(thread.tid) == 0) {
            m_owners.emplace(thread.tid, Owner{owner, ++index});
        }
    }
}

void ThreadLedger::Name(int tid, const std::string &owner)
{
    m_owners[tid] = Owner{owner, 0};
}

void ThreadLedger::Begin()
{
    m_usage.clear();
    for (const ThreadCpu &thread : ProcessProbe::Threads()) {
        const auto owner = m_owners.find(thread.tid);
        Usage &usage = m_usage[thread.tid];
        usage.owner = owner == m_owners.end() ? Owner{"created later", 0} : owner->second;
        usage.startCpu = usage.endCpu = thread.cpuSeconds;
    }
}

void ThreadLedger::Observe()
{
    for (const ThreadCpu &thread : ProcessProbe::Threads()) {
        auto usage = m_usage.find(thread.tid);
        if (usage == m_usage.end()) {
            usage =
                m_usage.emplace(thread.tid, Usage{Owner{"created during the run", 0}, 0.0, 0.0, {}}).first;
        }
        ++usage->second.waits[thread.waitsIn];
    }
}

void ThreadLedger::End()
{
    Observe();
    for (const ThreadCpu &thread : ProcessProbe::Threads()) {
        m_usage[thread.tid].endCpu = thread.cpuSeconds;
    }
}

std::string ThreadLedger::Describe(double seconds, size_t top) const
{
    struct Row
    {
        int tid;
        const Usage *usage;
        double share;
    };
    std::vector<Row> rows;
    std::map<std::string, double> owners;
    for (const auto &[tid, usage] : m_usage) {
        const double share = seconds > 0.0 ? 100.0 * (usage.endCpu - usage.startCpu) / seconds : 0.0;
        rows.push_back(Row{tid, &usage, share});
        owners[usage.owner.name] += share;
    }
    std::sort(rows.begin(), rows.end(), [](const Row &a, const Row &b) { return a.share > b.share; });
    std::string text = "CPU by thread (% of one core; thread n: n-th created by its owner; seen in):\n";
    char line[320];
    for (size_t i = 0; i < rows.size() && i < top; ++i) {
        const Usage &u = *rows[i].usage;
        std::string waits;
        for (const auto &[call, times] : u.waits) {
            waits += (waits.empty() ? "" : ", ") + call + " " + std::to_string(times);
        }
        const std::string index = u.owner.index > 0 ? ", thread " + std::to_string(u.owner.index) : "";
        std::snprintf(line, sizeof line, "  %6.2f %%  tid %-7d %s%s  [%s]\n", rows[i].share, rows[i].tid,
                      u.owner.name.c_str(), index.c_str(), waits.c_str());
        text += line;
    }
    text += "CPU by owner:\n";
    for (const auto &[owner, share] : owners) {
        std::snprintf(line, sizeof line, "  %6.2f %%  %s\n", share, owner.c_str());
        text += line;
    }
    return text;
}
