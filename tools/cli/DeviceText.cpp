// SPDX-License-Identifier: Apache-2.0
// Text of the library's device records: model and state names, fixed-size text fields.
#include "DeviceText.h"

#include <cstring>

#include "Orvane_api.h"

namespace orvane::cli {

std::string DeviceTypeName(uint32_t type)
{
    switch (type) {
    case TF_DEVICE_KR52LITE:
        return "KR52Lite";
    case TF_DEVICE_KR52CLITE:
        return "KR52CLite";
    case TF_DEVICE_KR52CPRO:
        return "KR52CPro";
    default:
        return std::to_string(type);
    }
}

std::string ConnectStatusName(uint32_t status)
{
    static const char *const kNames[] = {"lost", "removed", "available", "opened", "upgrading", "state-4"};
    return status < sizeof kNames / sizeof kNames[0] ? kNames[status] : std::to_string(status);
}

std::string FieldText(const char *field, size_t size)
{
    return std::string(field, strnlen(field, size));
}

} // namespace orvane::cli
