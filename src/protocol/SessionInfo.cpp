// SPDX-License-Identifier: Apache-2.0
// SessionInfo copies: deep copy of the extra list and the check of the link kind.
#include "protocol/SessionInfo.h"

#include <cstdio>

#include "runtime/LogCustom.h"

namespace {
void CheckLinkType(uint32_t linkType)
{
    if (linkType != kLinkTypeUsb && linkType != kLinkTypeNetwork && linkType != kLinkTypeOther) {
        TFLOG("linkType:%d is invalid.", static_cast<int>(linkType));
    }
}
} // namespace

SessionInfo::SessionInfo(const SessionInfo &other)
    : linkType(other.linkType), ip(other.ip), cmdPort(other.cmdPort), dataPort(other.dataPort),
      capabilityFlags(other.capabilityFlags), extraList(other.extraList), deviceType(other.deviceType),
      reserved(other.reserved)
{
    CheckLinkType(linkType);
}

SessionInfo &SessionInfo::operator=(const SessionInfo &other)
{
    if (this != &other) {
        SessionInfo copy(other);
        *this = std::move(copy);
    }
    return *this;
}

void SessionInfo::FormatIp(char *out, unsigned capacity) const
{
    if (out == nullptr || capacity == 0) {
        return;
    }
    std::snprintf(out, capacity, "%d.%d.%d.%d", static_cast<int>(ip & 0xFF),
                  static_cast<int>((ip >> 8) & 0xFF), static_cast<int>((ip >> 16) & 0xFF),
                  static_cast<int>((ip >> 24) & 0xFF));
}
