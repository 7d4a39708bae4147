// SPDX-License-Identifier: Apache-2.0
// Ctrl-C for orvane-cli: a flag the signal sets and the subcommands poll, so that they stop cleanly.
#pragma once

#include <chrono>

namespace orvane::cli {

class Interrupt
{
public:
    /// Routes SIGINT and SIGTERM to the flag (the first one; a second one ends the process at once).
    static void Install();
    static bool Requested();
    /// Sets the flag as a signal would (tests, and subcommands that end a wait early).
    static void Request();
    static void Reset();
    /// Waits up to `duration`; true as soon as an interrupt is requested.
    static bool WaitFor(std::chrono::milliseconds duration);
};

} // namespace orvane::cli
