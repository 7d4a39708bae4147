// SPDX-License-Identifier: Apache-2.0
// Shared support of the session tests: a private log in a temporary home and a way to read what was
// logged since a mark.
#pragma once

#include <cstddef>
#include <string>

namespace session_test {

/// Length of the log file now; pass it to LogSince to read what was logged afterwards.
size_t LogMark();
/// The log text written since `mark`.
std::string LogSince(size_t mark);
bool Contains(const std::string &text, const std::string &part);

} // namespace session_test
