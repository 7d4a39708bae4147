// SPDX-License-Identifier: Apache-2.0
// Text of the library's device records: model and state names, fixed-size text fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace orvane::cli {

/// The model name of a device type ("KR52CPro"), or its number.
std::string DeviceTypeName(uint32_t type);
/// The name of a TfConnectStatus ("available").
std::string ConnectStatusName(uint32_t status);
/// A fixed-size text field of a record as a string (up to the first NUL, or the whole field).
std::string FieldText(const char *field, size_t size);

} // namespace orvane::cli
