// SPDX-License-Identifier: Apache-2.0
// Fuzz target for property dispatch: a key, a size and a value go through the session's property code to
// the camera's protocol, whose replies come from the input.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <vector>

#include "CommandOps.h"
#include "FakeSession.h"
#include "FuzzCamera.h"
#include "FuzzInput.h"
#include "protocol/StatusCodes.h"
#include "session/FilterSettings.h"
#include "session/SessionModeLists.h"
#include "session/SessionProperties.h"

/// Input: [direction and key, size, list state] [value: size bytes] [the camera's replies].
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static FuzzCamera camera;
    if (size < 3) {
        return 0;
    }
    const bool set = (data[0] & 1) != 0;
    const int32_t key = kPropertyKeys[(data[0] >> 1) % std::size(kPropertyKeys)];
    const int valueSize = static_cast<int>(data[1]) - 4; // -4 to 251: refused sizes too
    const size_t valueBytes = static_cast<size_t>(valueSize > 0 ? valueSize : 0);
    if (size < 3 + valueBytes) {
        return 0;
    }
    FakeSession session;
    std::atomic<uint8_t> dataMode{1};
    FilterSettings filters(dataMode);
    SessionModeLists lists;
    if ((data[2] & 1) != 0) {
        lists.SetNetworkDefaults();
    }
    SessionProperties properties(session, lists, filters);
    properties.Attach(&camera.Protocol(), nullptr);
    const uint8_t *replies = data + 3 + valueBytes;
    const size_t replyBytes = size - 3 - valueBytes;
    camera.Load(replies, replyBytes, replies, replyBytes);

    // Exactly the caller's bytes, so that a read or write past them is caught.
    std::vector<uint8_t> value(data + 3, data + 3 + valueBytes);
    void *pointer = (data[2] & 2) != 0 ? nullptr : value.data();
    if (set) {
        const int ret = properties.SetProperty(key, pointer, valueSize);
        const std::vector<uint8_t> sent = camera.TakeSent();
        RequireRequestFrames(sent);
        // A refused value never reaches the camera.
        Require(!(ret == kStatusNotSupported || ret == -1 || ret == kStatusNullPointer) || sent.empty());
    } else {
        int reported = valueSize;
        const int ret = properties.GetProperty(key, pointer, (data[2] & 4) != 0 ? nullptr : &reported);
        RequireRequestFrames(camera.TakeSent());
        // A length the camera reported never claims more than the caller's buffer.
        Require(ret != kStatusOk || reported <= valueSize || pointer == nullptr);
    }
    return 0;
}
