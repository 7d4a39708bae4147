// SPDX-License-Identifier: Apache-2.0
// The protocol operations and property keys the command and property fuzz targets run against the
// camera's scripted replies, shared with the seed generator, which answers each of them as the simulated
// camera would.
#pragma once

#include <cstddef>
#include <cstdint>

#include "protocol/PropertyKeys.h"

class SocketProtocol;

/// One operation with one argument byte from the input. It aborts when the library breaks a promise:
/// a failed query that changed its output, a list longer than its room, a read past its buffer.
struct CommandOp
{
    const char *name;
    int (*run)(SocketProtocol &protocol, uint8_t arg);
};

extern const CommandOp kCommandOps[];
extern const size_t kCommandOpCount;

/// The input layout of command_fuzz: byte 0 gives the number of operations (1 + byte % kMaxOps), then
/// a selector and an argument byte per operation, then the bytes the camera sends on both connections.
constexpr size_t kMaxOps = 4;

/// The keys property_fuzz picks from. The JSON keys start upgrades (one takes its value as a callback)
/// and are left to the API tests.
constexpr int32_t kPropertyKeys[] = {kSessionStatus,
                                     kSessionModeList,
                                     kSessionRangeList,
                                     kSessionTimeFilteredDepth,
                                     kSessionTalDelay,
                                     kSession11,
                                     kSessionDeviceSn,
                                     kSessionMacAddress,
                                     kSessionSoftwareVersion,
                                     kSessionIpAddress,
                                     kSessionSubnetMask,
                                     kSessionDspStatus,
                                     kSession18,
                                     kSession19,
                                     kSessionDebugFirst,
                                     kSessionDebugLast,
                                     kSessionTemperatureOffset,
                                     kSessionHeartbeat};
