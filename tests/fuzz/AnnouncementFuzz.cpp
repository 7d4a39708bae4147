// SPDX-License-Identifier: Apache-2.0
// Fuzz target for discovery: each input is split into datagrams, handed to the enumerator, and merged.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "device/DeviceInfo.h"
#include "device/EnumSocketDevice.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    EnumSocketDevice enumerator(0); // never started: no socket
    std::vector<std::unique_ptr<DeviceInfo>> list;
    // Byte 0 of each chunk is its length, so one input exercises several datagrams and merges.
    size_t pos = 0;
    while (pos < size) {
        size_t length = data[pos++];
        length = length > size - pos ? size - pos : length;
        // Lengths below 89 test the short path; repeat a chunk to reach a full announcement.
        std::vector<uint8_t> datagram(data + pos, data + pos + length);
        if (length > 0 && length < 89 && (data[pos] & 1) != 0) {
            datagram.resize(89, data[pos]);
        }
        enumerator.HandleDatagram(datagram.data(), datagram.size());
        enumerator.UpdateDeviceListInfo(list);
        pos += length;
    }
    for (int round = 0; round < 5; ++round) {
        enumerator.UpdateDeviceListInfo(list);
    }
    return 0;
}
