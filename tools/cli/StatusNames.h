// SPDX-License-Identifier: Apache-2.0
// The names of the library's status codes, as the public header spells them.
#pragma once

#include <string>

namespace orvane::cli {

/// "TF_ERROR_NOT_CONFIRMED" for -105; "TF_STATUS_<n>" for a code the header does not name.
std::string StatusName(int status);

} // namespace orvane::cli
