// SPDX-License-Identifier: Apache-2.0
// Which part of the program each thread belongs to, and the CPU each used during a measurement: the
// library names no threads, so a thread is owned by the step that created it (initialise, open camera n).
#pragma once

#include <map>
#include <string>
#include <vector>

class ThreadLedger
{
public:
    /// Every thread not yet owned now belongs to `owner`.
    void Claim(const std::string &owner);
    /// Marks one thread (e.g. a reader) by its id.
    void Name(int tid, const std::string &owner);

    void Begin();
    /// Notes the system call each thread sits in; called every second between Begin and End.
    void Observe();
    void End();

    /// The `top` busiest threads and each owner's total, as shares of one core over `seconds`.
    std::string Describe(double seconds, size_t top) const;

private:
    struct Owner
    {
        std::string name;
        int index = 0; // order of creation among the owner's threads, 0 for a thread named alone
    };
    struct Usage
    {
        Owner owner;
        double startCpu = 0.0;
        double endCpu = 0.0;
        std::map<std::string, int> waits; // system call -> times seen in it
    };
    std::map<int, Owner> m_owners;
    std::map<int, Usage> m_usage;
};
