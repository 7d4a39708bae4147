// SPDX-License-Identifier: Apache-2.0
// The same-run baselines of the soak: a memcpy of a camera buffer's bytes, a bare TurboJPEG decode of the
// simulated camera's own JPEG, and the library's colour decoder on that JPEG, each on one core.
#include "DecodeBaselines.h"

#include <turbojpeg.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include "Scene.h"
#include "SimColorEncoder.h"
#include "SimSettings.h"
#include "pipeline/FramePool.h"
#include "pipeline/RgbDecode.h"

namespace {

using Clock = std::chrono::steady_clock;

/// Milliseconds per call of `work`, run repeatedly for about `seconds` after one warm-up call.
double MsPerCall(double seconds, const std::function<void()> &work)
{
    work();
    const Clock::time_point start = Clock::now();
    unsigned long calls = 0;
    double elapsed = 0.0;
    while (elapsed < seconds) {
        work();
        ++calls;
        elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    }
    return 1000.0 * elapsed / static_cast<double>(calls);
}

/// The colour sub-packet the simulated camera sends for its default scene at this size (header included).
std::vector<uint8_t> CameraSubPacket(int width, int height)
{
    SimColorEncoder encoder;
    std::vector<uint8_t> packet;
    SimColorTruth truth;
    const SimColorLens lens{static_cast<uint16_t>(width), static_cast<uint16_t>(height), 1};
    encoder.Append(Scene::Default(), SimSettings(), lens, 0.004f, packet, truth);
    return packet;
}

} // namespace

BaselineFigures DecodeBaselines::Measure(int width, int height, size_t tofPayloadBytes, double secondsEach)
{
    BaselineFigures f;
    f.width = width;
    f.height = height;
    const std::vector<uint8_t> packet = CameraSubPacket(width, height);
    constexpr size_t kHeaderBytes = 5;
    const size_t trailerBytes =
        SimColorEncoder::HasExposureTrailer(packet.empty() ? 0 : packet[0]) ? sim_color::kExposureBytes : 0;
    if (packet.size() <= kHeaderBytes + trailerBytes) {
        std::fprintf(stderr, "the simulator made no JPEG of %d x %d\n", width, height);
        return f;
    }
    const uint8_t *jpeg = packet.data() + kHeaderBytes;
    f.jpegBytes = packet.size() - kHeaderBytes - trailerBytes;
    f.bufferBytes = tofPayloadBytes + packet.size();

    std::vector<uint8_t> source(f.bufferBytes, 0x5A);
    std::vector<uint8_t> target(f.bufferBytes);
    f.memcpyMs = MsPerCall(secondsEach, [&] {
        std::memcpy(target.data(), source.data(), source.size());
        ++source[target[f.bufferBytes / 2] % source.size()];
    });

    std::vector<uint8_t> pixels(FramePool::PayloadBytes(kFrameColor));
    tjhandle handle = tjInitDecompress();
    int failures = 0;
    f.turboJpegMs = MsPerCall(secondsEach, [&] {
        failures +=
            tjDecompress2(handle, jpeg, f.jpegBytes, pixels.data(), width, 0, height, TJPF_BGR, 0) != 0;
    });
    tjDestroy(handle);

    RgbDecode decoder(nullptr, nullptr);
    Frame frame{};
    frame.pFrameData = pixels.data();
    frame.bufferSize = static_cast<uint32_t>(pixels.size());
    f.libraryRgbMs = MsPerCall(secondsEach, [&] {
        decoder.DecodeRGB(packet.data(), static_cast<uint32_t>(packet.size()), &frame);
        failures += frame.dataLen == 0;
    });
    if (failures != 0) {
        std::fprintf(stderr, "%d baseline decodes failed\n", failures);
    }
    return f;
}

std::string DecodeBaselines::Describe(const BaselineFigures &f)
{
    char text[640];
    std::snprintf(text, sizeof text,
                  "baselines on one core, %d x %d JPEG of %zu bytes, %zu bytes per camera buffer:\n"
                  "  memcpy of the buffer      %7.3f ms (%6.0f buffers/s)\n"
                  "  bare TurboJPEG decode     %7.3f ms (%6.1f frames/s)\n"
                  "  library colour decode     %7.3f ms (%6.1f frames/s, %.2f x TurboJPEG)",
                  f.width, f.height, f.jpegBytes, f.bufferBytes, f.memcpyMs, 1000.0 / f.memcpyMs,
                  f.turboJpegMs, 1000.0 / f.turboJpegMs, f.libraryRgbMs, 1000.0 / f.libraryRgbMs,
                  f.turboJpegMs > 0.0 ? f.libraryRgbMs / f.turboJpegMs : 0.0);
    return text;
}
