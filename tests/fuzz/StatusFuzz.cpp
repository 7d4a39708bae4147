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
    std::memset(&status, 0x5A, sizeof(status));
    const DeviceStatus before = status;
    const bool decoded = DecodeDeviceStatus(data, size, status);
    Require(decoded == (size >= kDeviceStatusBytes));
    if (!decoded) {
        Require(std::memcmp(&status, &before, sizeof(status)) == 0);
        return 0;
    }
    // The record is packed in the camera's byte order: decoding is a field-by-field copy of its bytes.
    Require(std::memcmp(&status, data, kDeviceStatusBytes) == 0);
    uint8_t encoded[kDeviceStatusBytes];
    EncodeDeviceStatus(status, encoded);
    Require(std::memcmp(encoded, data, kDeviceStatusBytes) == 0);
    return 0;
}
