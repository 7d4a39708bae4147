// SPDX-License-Identifier: Apache-2.0
// Fuzz target for command replies and stream buffer framing: the input picks a few protocol operations
// and supplies every byte the camera sends on the command and data connections.
#include <cstddef>
#include <cstdint>

#include "CommandOps.h"
#include "FuzzCamera.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static FuzzCamera camera;
    if (size == 0) {
        return 0;
    }
    const size_t ops = 1 + data[0] % kMaxOps;
    if (size < 1 + 2 * ops) {
        return 0;
    }
    const uint8_t *stream = data + 1 + 2 * ops;
    const size_t streamBytes = size - 1 - 2 * ops;
    camera.Load(stream, streamBytes, stream, streamBytes);
    for (size_t i = 0; i < ops; ++i) {
        const CommandOp &op = kCommandOps[data[1 + 2 * i] % kCommandOpCount];
        op.run(camera.Protocol(), data[2 + 2 * i]);
    }
    // Whatever the camera answered, every request that went out was one whole, well-formed frame.
    RequireRequestFrames(camera.TakeSent());
    return 0;
}
