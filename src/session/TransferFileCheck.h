// SPDX-License-Identifier: Apache-2.0
// TransferFileCheck: checks a host file before a session sends it to the camera.
#pragma once

#include "protocol/ProtocolTypes.h"

/// A file sent to the camera must be readable and of the size its type requires (pixel tables 640 x 480
/// values of 16 bits; a depth table of range `index` two bytes per millimetre up to the range's
/// wrap-around distance, and one more value).
class TransferFileCheck
{
public:
    /// Stores the file's size in `value` and its byte sum modulo 256 in `flag`; false (and a log line)
    /// when it cannot be read or has the wrong size.
    static bool CheckTransferFile(FileTransferParams &params);
    /// The size a file of `type` (range `index` for type 6) must have; 0 for an unknown type.
    static uint32_t RequiredBytes(uint32_t type, uint8_t index);
};
