// SPDX-License-Identifier: Apache-2.0
// orvane-cli: the command-line tool for Orvane depth cameras.
#include "CliApp.h"

int main(int argc, char **argv)
{
    return orvane::cli::RunCli(argc, argv);
}
