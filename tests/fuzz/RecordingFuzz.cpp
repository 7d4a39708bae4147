// SPDX-License-Identifier: Apache-2.0
// Fuzz target for the recording reader: any bytes as a recording never crash it, and whatever it returns
// is whole, inside the file, and as large as its record says.
#include "FrameSetCodec.h"
#include "RecordingReader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>

namespace {

using namespace orvane::cli::record;

void Require(bool condition)
{
    if (!condition) {
        abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    RecordingReader reader;
    auto stream =
        std::make_unique<std::istringstream>(std::string(reinterpret_cast<const char *>(data), size));
    if (!reader.Open(std::move(stream))) {
        Require(!reader.GetError().empty());
        return 0;
    }
    Require(reader.GetHeader().is_object());
    uint64_t offset = 0;
    FrameSet set;
    for (;;) {
        const ReadResult result = reader.Next(set);
        Require(result.offset >= offset && result.offset <= size);
        if (result.status != ReadStatus::kFrameSet) {
            Require(result.status == ReadStatus::kEnd ? result.offset == size : !result.message.empty());
            // The reader stays where it stopped.
            Require(reader.Next(set).status == result.status);
            return 0;
        }
        Require(result.offset + result.storedBytes <= size);
        Require(set.frames.size() <= kMaxFramesPerSet);
        uint64_t body = 4;
        for (const RecordedFrame &frame : set.frames) {
            Require(frame.pixels.size() <= kMaxFrameBytes);
            body += kFrameHeaderBytes + frame.pixels.size();
        }
        Require(body == result.bodyBytes);
        offset = result.offset + result.storedBytes;
    }
}
