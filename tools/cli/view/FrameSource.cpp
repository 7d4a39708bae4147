// SPDX-License-Identifier: Apache-2.0
// The viewer's camera side: a thread that reads every set of frames through the public API, stamps
// each with the host's wall clock, turns it into the message pages receive and hands it on.
#include "FrameSource.h"

#include <chrono>
#include <cstring>

#include "CliOutput.h"
#include "FrameCapture.h"
#include "StatusNames.h"

namespace orvane::cli {
namespace {

uint64_t WallClockUs()
{
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                     std::chrono::system_clock::now().time_since_epoch())
                                     .count());
}

FrameMessage Assemble(FrameHeader header, const uint8_t *payload, size_t bytes)
{
    header.payloadBytes = static_cast<uint32_t>(bytes);
    auto message = std::make_shared<std::vector<uint8_t>>(FrameHeader::kSize + bytes);
    const auto encoded = header.Encode();
    std::memcpy(message->data(), encoded.data(), encoded.size());
    if (bytes != 0) {
        std::memcpy(message->data() + FrameHeader::kSize, payload, bytes);
    }
    return message;
}

FrameHeader HeaderOf(ViewStream stream, const TfFrame &frame, uint64_t hostTimeUs)
{
    FrameHeader header;
    header.stream = stream;
    header.index = frame.frameIndex;
    header.width = frame.width;
    header.height = frame.height;
    header.timestampUs = frame.timestamp;
    header.hostTimeUs = hostTimeUs;
    return header;
}

const ViewStream *StreamOf(uint32_t frameType)
{
    static const ViewStream kDepth = ViewStream::kDepth, kIr = ViewStream::kIr,
                            kConfidence = ViewStream::kConfidence, kColor = ViewStream::kColor;
    switch (frameType) {
    case TF_FRAME_DEPTH:
        return &kDepth;
    case TF_FRAME_IR:
        return &kIr;
    case TF_FRAME_CONFIDENCE:
        return &kConfidence;
    case TF_FRAME_COLOR:
        return &kColor;
    default:
        return nullptr;
    }
}

} // namespace

FrameSource::FrameSource(TfDeviceHandle device, FrameSink &sink, CliOutput &out, const ImageSizes &sizes)
    : m_device(device), m_sink(sink), m_out(out), m_sizes(sizes)
{
}

FrameSource::~FrameSource()
{
    Stop();
}

void FrameSource::Start()
{
    m_stop = false;
    m_thread = std::thread([this] { Run(); });
}

void FrameSource::Stop()
{
    m_stop = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

FrameMessage FrameSource::RawMessage(ViewStream stream, const TfFrame &frame, uint64_t hostTimeUs,
                                     std::string &error)
{
    FrameHeader header = HeaderOf(stream, frame, hostTimeUs);
    size_t bytesPerPixel = 2;
    const uint32_t pixelFormat = frame.pixelFormat;
    if (pixelFormat == TF_PIXEL_GRAY8) {
        header.format = FrameFormat::kGray8;
        bytesPerPixel = 1;
    } else if (pixelFormat == TF_PIXEL_GRAY16 || pixelFormat == TF_PIXEL_DEPTH_MM16) {
        header.format = FrameFormat::kGray16;
    } else {
        error = std::string(ViewStreamName(stream)) + " frame of pixel format " + std::to_string(pixelFormat);
        return nullptr;
    }
    const size_t expected = static_cast<size_t>(header.width) * header.height * bytesPerPixel;
    const uint32_t dataBytes = frame.dataLen;
    const uint8_t *data = frame.pFrameData;
    if (expected == 0 || data == nullptr || dataBytes < expected) {
        error = std::string(ViewStreamName(stream)) + " frame of " + std::to_string(header.width) + "x" +
                std::to_string(header.height) + " with " + std::to_string(data != nullptr ? dataBytes : 0) +
                " bytes";
        return nullptr;
    }
    return Assemble(header, data, expected);
}

FrameMessage FrameSource::ColorMessage(const TfFrame &frame, uint64_t hostTimeUs, std::string &error)
{
    const uint32_t pixelFormat = frame.pixelFormat;
    if (pixelFormat != TF_PIXEL_RGB888 && pixelFormat != TF_PIXEL_BGR888) {
        error = "colour frame of pixel format " + std::to_string(pixelFormat);
        return nullptr;
    }
    if (!m_jpeg.Encode(frame.pFrameData, frame.pFrameData != nullptr ? frame.dataLen : 0, frame.width,
                       frame.height, pixelFormat == TF_PIXEL_BGR888, error)) {
        return nullptr;
    }
    FrameHeader header = HeaderOf(ViewStream::kColor, frame, hostTimeUs);
    header.encoding = FrameEncoding::kJpeg;
    header.format = FrameFormat::kJpeg;
    header.width = static_cast<uint16_t>(m_jpeg.Width());
    header.height = static_cast<uint16_t>(m_jpeg.Height());
    return Assemble(header, m_jpeg.Jpeg().data(), m_jpeg.Jpeg().size());
}

void FrameSource::Refused(const std::string &error)
{
    if (m_refused++ % 1000 == 0) {
        m_out.Message("viewer: frame not sent: " + error + " (" + std::to_string(m_refused) + " so far)");
    }
}

void FrameSource::Handle(const TfFrame &frame, uint64_t hostTimeUs, ImageSizes &sizes)
{
    const ViewStream *stream = StreamOf(frame.frameType);
    if (stream == nullptr || !m_sink.Wants(*stream)) {
        return;
    }
    std::string error;
    const FrameMessage message = *stream == ViewStream::kColor
                                     ? ColorMessage(frame, hostTimeUs, error)
                                     : RawMessage(*stream, frame, hostTimeUs, error);
    if (message == nullptr) {
        Refused(error);
        return;
    }
    if (*stream == ViewStream::kColor) {
        sizes.colorWidth = frame.width;
        sizes.colorHeight = frame.height;
        sizes.sentColorWidth = static_cast<uint16_t>(m_jpeg.Width());
        sizes.sentColorHeight = static_cast<uint16_t>(m_jpeg.Height());
    } else {
        sizes.tofWidth = frame.width;
        sizes.tofHeight = frame.height;
    }
    m_sink.Publish(*stream, message);
}

void FrameSource::ReadDrops()
{
    TfDropCounters counters{};
    int32_t size = sizeof counters;
    if (TFCM_GetProperty(m_device, TF_PROPERTY_EXT_DROP_COUNTERS, &counters, &size) != TF_OK) {
        return;
    }
    const auto sum = [](const TfDropCounts &c) {
        return c.queueFull + c.setIncomplete + c.decodeError + c.bufferRefused + c.colorLate;
    };
    m_tofDropped = sum(counters.tof);
    m_colorDropped = sum(counters.color);
}

void FrameSource::Run()
{
    using Clock = std::chrono::steady_clock;
    FrameCapture capture(m_device, FrameCapture::Pixels::Borrow);
    Clock::time_point nextDrops = Clock::now();
    int lastStatus = TF_OK;
    while (!m_stop) {
        if (Clock::now() >= nextDrops) {
            ReadDrops();
            nextDrops = Clock::now() + std::chrono::seconds(1);
        }
        const int status = capture.ReadNext();
        if (status == TF_OK) {
            const uint64_t hostTimeUs = WallClockUs();
            ImageSizes sizes = m_sizes;
            for (const CapturedFrame *captured : capture.Frames()) {
                Handle(captured->frame, hostTimeUs, sizes);
            }
            if (sizes != m_sizes) {
                m_sizes = sizes;
                m_sink.SizesChanged(sizes);
            }
        } else if (status != TF_ERROR_FRAME_TIMEOUT) {
            // The connection is down, or the stream stopped while a setting is applied: the library
            // recovers by itself, and a camera that has gone is noticed by the command. No busy loop.
            if (status != lastStatus) {
                m_out.Verbose(1, "viewer: reading frames: " + StatusName(status));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        lastStatus = status;
    }
}

} // namespace orvane::cli
