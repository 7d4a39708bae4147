// SPDX-License-Identifier: Apache-2.0
// The exit codes of orvane-cli, the same for every subcommand.
#pragma once

namespace orvane::cli {

enum ExitCode : int
{
    kExitOk = 0,
    kExitUsage = 1,         // the command line could not be parsed, or asked for something impossible
    kExitNoCamera = 2,      // no camera matched within the wait time
    kExitCameraError = 3,   // a library call failed; the status name is printed
    kExitInterrupted = 130, // Ctrl-C: the stream was stopped, the camera closed and the library shut down
};

} // namespace orvane::cli
