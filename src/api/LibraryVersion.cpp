// SPDX-License-Identifier: Apache-2.0
// The shared library's own translation unit; every exported function comes from the orvane_apiimpl archive.
#include "Orvane_api.h"

// A shared library target needs at least one source of its own; the version script decides what leaves it.
namespace {
[[maybe_unused]] constexpr const char *kLibraryName = "libOrvane_api";
} // namespace
