// SPDX-License-Identifier: Apache-2.0
// Ctrl-C for orvane-cli: a flag the signal sets and the subcommands poll, so that they stop cleanly.
#include "Interrupt.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <thread>
#include <unistd.h>

namespace orvane::cli {
namespace {

std::atomic<bool> g_requested{false};

void OnSignal(int signal)
{
    if (g_requested.exchange(true)) {
        // A second Ctrl-C while the first is being handled: the user wants out now.
        _exit(128 + signal);
    }
}

} // namespace

void Interrupt::Install()
{
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool Interrupt::Requested()
{
    return g_requested.load();
}

void Interrupt::Request()
{
    g_requested.store(true);
}

void Interrupt::Reset()
{
    g_requested.store(false);
}

bool Interrupt::WaitFor(std::chrono::milliseconds duration)
{
    // Polled in short steps: a signal handler can only set the flag, not signal a condition variable.
    const auto end = std::chrono::steady_clock::now() + duration;
    while (!Requested()) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= end) {
            return false;
        }
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(end - now, std::chrono::milliseconds(20)));
    }
    return true;
}

} // namespace orvane::cli
