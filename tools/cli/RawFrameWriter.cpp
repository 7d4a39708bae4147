// SPDX-License-Identifier: Apache-2.0
// Writes a frame's pixels exactly as delivered, and beside them a JSON sidecar with every field of the
// frame and what is known of the camera (its URI, its intrinsics).
#include "RawFrameWriter.h"

#include "AtomicFile.h"

namespace orvane::cli {

nlohmann::json RawFrameWriter::FrameFields(const TfFrame &frame)
{
    // Copies first: the record is packed.
    const uint32_t frameIndex = frame.frameIndex;
    const uint32_t frameType = frame.frameType;
    const uint32_t pixelFormat = frame.pixelFormat;
    const uint32_t dataLen = frame.dataLen;
    const float exposureTime = frame.exposureTime;
    const uint32_t depthRange = frame.depthRange;
    const uint16_t width = frame.width;
    const uint16_t height = frame.height;
    const uint64_t timestamp = frame.timestamp;
    return {{"frameIndex", frameIndex},       {"frameType", frameType}, {"pixelFormat", pixelFormat},
            {"imuFrameNo", frame.imuFrameNo}, {"dataLen", dataLen},     {"exposureTime", exposureTime},
            {"depthRange", depthRange},       {"width", width},         {"height", height},
            {"timestamp", timestamp}};
}

bool RawFrameWriter::Write(const std::string &pixelsPath, const std::string &sidecarPath,
                           const TfFrame &frame, const nlohmann::json &camera, std::string &error)
{
    const size_t bytes = frame.pFrameData != nullptr ? frame.dataLen : 0;
    AtomicFile pixels(pixelsPath);
    if (!pixels.Write(frame.pFrameData, bytes) || !pixels.Commit()) {
        error = pixels.Error();
        return false;
    }
    const size_t slash = pixelsPath.rfind('/');
    const nlohmann::json sidecar = {
        {"pixels", slash == std::string::npos ? pixelsPath : pixelsPath.substr(slash + 1)},
        {"frame", FrameFields(frame)},
        {"camera", camera}};
    const std::string text = sidecar.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    AtomicFile file(sidecarPath);
    if (!file.Write(text.data(), text.size()) || !file.Commit()) {
        error = file.Error();
        return false;
    }
    return true;
}

} // namespace orvane::cli
