// SPDX-License-Identifier: Apache-2.0
// Fuzz target for the status record: decoding any bytes, the record kept as it was when they are too
// few, and every field read back to the same bytes when they are enough.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "FuzzInput.h"
#include "pipeline/DeviceStatus.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    DeviceStatus status;
    if (RequireDecodedAsCopy(DecodeDeviceStatus, data, size, kDeviceStatusBytes, status)) {
        uint8_t encoded[kDeviceStatusBytes];
        EncodeDeviceStatus(status, encoded);
        Require(std::memcmp(encoded, data, kDeviceStatusBytes) == 0);
    }
    return 0;
}
