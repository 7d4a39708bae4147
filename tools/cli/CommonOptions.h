// SPDX-License-Identifier: Apache-2.0
// The options every subcommand of orvane-cli shares: which camera, how long to wait, how to print.
#pragma once

#include <string>

namespace orvane::cli {

struct CommonOptions
{
    std::string uri;   // open the camera with this URI ("KR52CPro:SN...")
    std::string alias; // or the camera with this alias
    std::string ip;    // or the camera at this IPv4 address
    int waitMs = 3000; // how long to wait for the camera (list: how long to listen)
    bool json = false; // JSON Lines on stdout, messages on stderr
    int verbose = 0;   // -v, -vv: more messages on stderr
};

} // namespace orvane::cli
