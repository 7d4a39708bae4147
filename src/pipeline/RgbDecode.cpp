// SPDX-License-Identifier: Apache-2.0
// RgbDecode: the colour decoding worker, JPEG decompression, the 12-bit YUV conversion and the geometry
// steps that bring a colour image to the configured mode.
#include "pipeline/RgbDecode.h"

#include <turbojpeg.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "refine/APIDepthRefine.h"
#include "refine/ColorGeometry.h"
#include "runtime/LogCustom.h"

namespace {
constexpr uint8_t kTypeAnySizeJpeg = 0x25;
constexpr uint8_t kTypeFirstWithExposure = 0x31;
constexpr uint8_t kTypeYuv = 0x35;
constexpr uint32_t kRetryDelayMs = 10;

struct ColorSize
{
    uint8_t typeId;
    uint16_t width;
    uint16_t height;
};

constexpr ColorSize kColorSizes[] = {
    {0x31, 1920, 1080}, {0x32, 1280, 720},  {0x33, 640, 360}, {0x34, 640, 480},
    {0x35, 640, 480},   {0x36, 1600, 1200}, {0x37, 800, 600},
};

const ColorSize *FindColorSize(uint8_t typeId)
{
    for (const ColorSize &size : kColorSizes) {
        if (size.typeId == typeId) {
            return &size;
        }
    }
    return nullptr;
}

bool HasExposureTrailer(uint8_t typeId)
{
    return typeId >= kTypeFirstWithExposure && typeId <= kTypeYuv;
}

uint32_t ReadLength24(const uint8_t *header)
{
    return uint32_t(header[1]) | (uint32_t(header[2]) << 8) | (uint32_t(header[3]) << 16);
}

bool IsJpeg(const uint8_t *payload, uint32_t length)
{
    return length >= 2 && payload[0] == 0xFF && payload[1] == 0xD8;
}

bool IsVideoStartCode(const uint8_t *payload, uint32_t length)
{
    if (length >= 3 && payload[0] == 0 && payload[1] == 0 && payload[2] == 1) {
        return true;
    }
    return length >= 4 && payload[0] == 0 && payload[1] == 0 && payload[2] == 0 && payload[3] == 1;
}

std::atomic<int> g_rawDumps{0};
} // namespace

RgbDecode::RgbDecode(FrameQueue *rawQueue, APIDepthRefine *refine)
    : StoppableThread("RgbDecode"), m_rawQueue(rawQueue), m_refine(refine),
      m_colorQueue(std::make_unique<FrameQueue>(kFrameColor, kQueueCapacity, kPoolFrames))
{
    m_decoded = m_colorQueue->AllocFrame(kFrameColor);
}

RgbDecode::~RgbDecode()
{
    Stop();
    Join();
    m_colorQueue->RecycleFrame(m_decoded);
    if (m_tjHandle != nullptr) {
        tjDestroy(m_tjHandle);
    }
}

int RgbDecode::GetRGB(Frame **frame)
{
    *frame = m_colorQueue->Pop(kFrameColor);
    return *frame == nullptr ? -1 : 0;
}

void RgbDecode::SetMode(const FrameMode &mode)
{
    TFLOG("fps:%d h:%d, w:%d", static_cast<int>(mode.fps), static_cast<int>(mode.height),
          static_cast<int>(mode.width));
    m_modeWidth = mode.width;
    m_modeHeight = mode.height;
    m_modeFps = mode.fps;
}

FrameMode RgbDecode::GetMode() const
{
    return FrameMode{m_modeWidth, m_modeHeight, m_modeFps};
}

int RgbDecode::SetApplyRGBDistortionEnabled(bool enabled)
{
    if (m_refine == nullptr) {
        return -1;
    }
    const int ret = m_refine->SetApplyRGBDistortionEnabled(enabled);
    if (ret == kRefineOk) {
        m_distortion = enabled;
    }
    return ret;
}

int RgbDecode::SetApplyRGBCorrectionEnabled(bool enabled)
{
    if (m_refine == nullptr) {
        return -1;
    }
    const int ret = m_refine->SetApplyRGBCorrectionEnabled(enabled);
    if (ret == kRefineOk) {
        m_correction = enabled;
    }
    return ret;
}

int RgbDecode::SetPreProcRgbIntrinsic(const double *intrinsic9)
{
    if (m_refine == nullptr || intrinsic9 == nullptr) {
        return -1;
    }
    const FrameMode mode = GetMode();
    double scaled[9];
    std::memcpy(scaled, intrinsic9, sizeof scaled);
    // The colour images of the mode's size are a centred crop of the calibration image, scaled.
    ScaleColorIntrinsic(scaled, mode.width, mode.height);
    const short rotate = m_rotateType;
    const bool swap = rotate == 0 || rotate == 2;
    return m_refine->SetRgbIntrinsic(scaled, swap ? mode.height : mode.width, swap ? mode.width : mode.height,
                                     0);
}

void RgbDecode::SetDropCounters(DropCounters *counters)
{
    m_dropCounters = counters;
    m_colorQueue->SetDropCounters(counters);
}

void RgbDecode::Run()
{
    while (IsRunning()) {
        if (m_rawQueue == nullptr) {
            WaitForStop(100);
            continue;
        }
        if (!m_stream || !m_frameState || m_recycle) {
            DrainRaw();
            continue;
        }
        Frame *raw = m_rawQueue->Pop(kFrameRawColor);
        if (raw == nullptr) {
            WaitForStop(kRetryDelayMs);
            continue;
        }
        const int32_t format = m_pixelFormat;
        if (format != kPixelRgb888 && format != kPixelBgr888) {
            CountDecodeError(); // no colour format to decode into
            m_rawQueue->RecycleFrame(raw);
            WaitForStop(kRetryDelayMs);
            continue;
        }
        if (m_decoded == nullptr) {
            TFLOG("DecodeRGB mPtrDecodedFrame is NULL.");
            if (m_dropCounters != nullptr) {
                m_dropCounters->CountFrame(*raw, DropReason::kQueueFull);
            }
            m_rawQueue->RecycleFrame(raw);
            m_decoded = m_colorQueue->AllocFrame(kFrameColor);
            WaitForStop(kRetryDelayMs);
            continue;
        }
        DecodeOne(raw);
        m_rawQueue->RecycleFrame(raw);
    }
}

void RgbDecode::DrainRaw()
{
    // Give back what is queued until the queue is empty or the stream is on again.
    while (IsRunning() && m_rawQueue->DropOne(kFrameRawColor) && !m_stream) {
    }
    m_recycle = false;
}

void RgbDecode::CountDecodeError()
{
    if (m_dropCounters != nullptr) {
        m_dropCounters->Count(DropStream::kColor, DropReason::kDecodeError);
    }
}

void RgbDecode::DecodeOne(Frame *raw)
{
    const uint32_t rawBytes = raw->dataLen < raw->bufferSize ? raw->dataLen : raw->bufferSize;
    DecodeRGB(raw->pFrameData, rawBytes, m_decoded);
    if (m_decoded->dataLen == 0) {
        TFLOG("DecodeRGB is failed.");
        CountDecodeError();
        m_colorQueue->RecycleFrame(m_decoded);
        m_decoded = m_colorQueue->AllocFrame(kFrameColor);
        return;
    }
    const PixelFormat format = GetPixelFormat();
    postFrame(*m_decoded, format);
    const uint32_t modeWidth = m_modeWidth;
    const uint32_t modeHeight = m_modeHeight;
    const uint32_t width = m_decoded->width;
    const uint32_t height = m_decoded->height;
    const bool widthFits = modeWidth == width || modeWidth == height;
    const bool heightFits = modeHeight == width || modeHeight == height;
    if (!widthFits || !heightFits) {
        TFLOG("DecodedRGB frame resolution does not match we want. framemode %d, %d ; decoded %d ,%d",
              static_cast<int>(modeWidth), static_cast<int>(modeHeight), static_cast<int>(width),
              static_cast<int>(height));
        ++m_resolutionMismatches;
        CountDecodeError();
        m_colorQueue->RecycleFrame(m_decoded);
        m_decoded = m_colorQueue->AllocFrame(kFrameColor);
        return;
    }
    m_decoded->pixelFormat = static_cast<uint32_t>(format);
    m_decoded->dataLen = width * height * 3;
    m_decoded->frameType = kFrameColor;
    m_decoded->frameIndex = raw->frameIndex;
    m_decoded->imuFrameNo = raw->imuFrameNo;
    m_decoded->hasFrameMask = raw->hasFrameMask;
    m_decoded->timestamp = raw->timestamp;
    m_colorQueue->Push(m_decoded);
    ++m_decodedFrames;
    if (m_frameReady) {
        m_frameReady(kHasColor);
    }
    m_decoded = m_colorQueue->AllocFrame(kFrameColor);
}

uint32_t RgbDecode::DecodeRGB(const uint8_t *subPacket, uint32_t availableBytes, Frame *frame)
{
    if (subPacket == nullptr || frame == nullptr || frame->pFrameData == nullptr) {
        return 0;
    }
    frame->dataLen = 0;
    if (availableBytes < kHeaderBytes) {
        TFLOG("colour packet of %u bytes has no header, dropped.", availableBytes);
        return 0;
    }
    const uint8_t typeId = subPacket[0];
    const uint32_t length = ReadLength24(subPacket);
    if (length > availableBytes - kHeaderBytes) {
        TFLOG("typeId:0x%x length:%u exceeds the %u bytes of the raw colour frame, dropped.", typeId, length,
              availableBytes);
        return 0;
    }
    const uint8_t *payload = subPacket + kHeaderBytes;
    uint32_t imageBytes = length;
    if (HasExposureTrailer(typeId) && length >= kExposureTrailerBytes) {
        float exposure = 0.0f;
        std::memcpy(&exposure, payload + length - kExposureTrailerBytes, sizeof exposure);
        frame->exposureTime = exposure * 1000.0f;
        imageBytes = length - kExposureTrailerBytes;
    }

    if (IsJpeg(payload, imageBytes)) {
        m_decodeType = kDecodeJpeg;
        uint32_t expectedWidth = frame->width;
        uint32_t expectedHeight = frame->height;
        if (const ColorSize *size = FindColorSize(typeId)) {
            expectedWidth = size->width;
            expectedHeight = size->height;
        } else if (typeId == kTypeAnySizeJpeg) {
            // An unlisted size: whatever the header announces, the resolution check decides.
            expectedWidth = 0;
            expectedHeight = 0;
        } else {
            TFLOG("typeId:%d is invalid.", typeId);
        }
        uint32_t width = 0;
        uint32_t height = 0;
        Mjpeg2Rgb_new(payload, expectedWidth, expectedHeight, static_cast<int>(imageBytes), frame->pFrameData,
                      frame->bufferSize, &width, &height);
        if (width != 0) {
            // The decoded size, not the announced one: a frame must describe its own pixels, and a size
            // other than the mode's is then dropped by the resolution check.
            frame->width = static_cast<uint16_t>(width);
            frame->height = static_cast<uint16_t>(height);
            frame->dataLen = width * height * 3;
        }
        return length + kHeaderBytes;
    }
    if (IsVideoStartCode(payload, imageBytes)) {
        m_decodeType = kDecodeVideo;
        return length + kHeaderBytes;
    }
    m_decodeType = kDecodeOther;
    if (typeId == kTypeYuv) {
        // The camera writes the exposure value over the last bytes of the image itself: the image is the
        // whole payload.
        DecodeYuv(payload, length, frame);
        return length + kHeaderBytes;
    }
    TFLOG("err m_DecodeType: %d, data_size: %d", static_cast<int>(kDecodeOther), static_cast<int>(length));
    DumpUnknownPacket(subPacket, length + kHeaderBytes);
    return 0;
}

void RgbDecode::DecodeYuv(const uint8_t *payload, uint32_t length, Frame *frame)
{
    const uint32_t rgbBytes = uint32_t{kYuvWidth} * kYuvHeight * 3;
    if (length < kYuvBytes || frame->bufferSize < rgbBytes) {
        TFLOG("typeId:0x%x carries %u bytes, %u expected, dropped.", kTypeYuv, length, kYuvBytes);
        return;
    }
    if (m_refine == nullptr) {
        // Unconverted YUV labelled RGB would hand the application a wrong image.
        TFLOG("typeId:0x%x needs the refine library to convert, dropped.", kTypeYuv);
        return;
    }
    std::memcpy(frame->pFrameData, payload, kYuvBytes);
    AlgImage image{frame->pFrameData, ALG_8UC1, kYuvWidth, kYuvHeight};
    const int target = GetPixelFormat() == kPixelBgr888 ? kPixelBgr888 : kPixelRgb888;
    const int ret = m_refine->ConvertColor(&image, 1, kColorSourceYuv420Planar, target);
    if (ret != kRefineOk) {
        TFLOG("ConvertColor failed: ret:%d", ret);
        return;
    }
    frame->width = static_cast<uint16_t>(image.width);
    frame->height = static_cast<uint16_t>(image.height);
    frame->dataLen = image.width * image.height * 3;
}

void RgbDecode::DumpUnknownPacket(const uint8_t *subPacket, uint32_t bytes)
{
    const int index = g_rawDumps.fetch_add(1);
    if (index >= kMaxRawDumps) {
        return;
    }
    char name[32];
    std::snprintf(name, sizeof name, "%03d_raw.bin", index);
    FILE *file = std::fopen(name, "wb");
    if (file == nullptr) {
        return;
    }
    std::fwrite(subPacket, 1, bytes, file);
    std::fclose(file);
}

int RgbDecode::Mjpeg2Rgb_new(const uint8_t *jpeg, uint32_t width, uint32_t height, int jpegSize, uint8_t *dst,
                             size_t dstBytes, uint32_t *decodedWidth, uint32_t *decodedHeight)
{
    if (decodedWidth != nullptr) {
        *decodedWidth = 0;
    }
    if (decodedHeight != nullptr) {
        *decodedHeight = 0;
    }
    if (jpeg == nullptr || dst == nullptr || jpegSize <= 0) {
        return -1;
    }
    if (m_tjHandle == nullptr) {
        m_tjHandle = tjInitDecompress();
        if (m_tjHandle == nullptr) {
            TFLOG("ERROR in turbo decode while %s:\n%s\n", "initializing decompressor", "");
            return -1;
        }
    }
    // TurboJPEG takes a non-const buffer but only reads it.
    unsigned char *source = const_cast<unsigned char *>(jpeg);
    const unsigned long sourceBytes = static_cast<unsigned long>(jpegSize);
    int jpegWidth = 0;
    int jpegHeight = 0;
    int subsampling = 0;
    int colorspace = 0;
    if (tjDecompressHeader3(m_tjHandle, source, sourceBytes, &jpegWidth, &jpegHeight, &subsampling,
                            &colorspace) != 0) {
        TFLOG("ERROR in turbo decode while %s:\n%s\n", "reading JPEG header", tjGetErrorStr2(m_tjHandle));
        return -1;
    }
    if (jpegWidth <= 0 || jpegHeight <= 0 || uint64_t(jpegWidth) * uint64_t(jpegHeight) * 3 > dstBytes) {
        TFLOG("JPEG announces %dx%d, larger than the output frame (%zu bytes), rejected.", jpegWidth,
              jpegHeight, dstBytes);
        ++m_oversizedJpegs;
        return -1;
    }
    int result = 0;
    if ((width != 0 || height != 0) && (uint32_t(jpegWidth) != width || uint32_t(jpegHeight) != height)) {
        TFLOG("width:%d != %d, height:%d != %d", static_cast<int>(width), jpegWidth, static_cast<int>(height),
              jpegHeight);
        TFLOG("ERROR in turbo decode while %s:\n%s\n", "width or height is not right", "");
        result = -1;
    }
    const int pixelFormat = GetPixelFormat() == kPixelRgb888 ? TJPF_RGB : TJPF_BGR;
    if (tjDecompress2(m_tjHandle, source, sourceBytes, dst, jpegWidth, 0, jpegHeight, pixelFormat, 0) != 0) {
        TFLOG("ERROR in turbo decode while %s:\n%s\n", "decompressing JPEG image",
              tjGetErrorStr2(m_tjHandle));
        return -1;
    }
    if (decodedWidth != nullptr) {
        *decodedWidth = static_cast<uint32_t>(jpegWidth);
    }
    if (decodedHeight != nullptr) {
        *decodedHeight = static_cast<uint32_t>(jpegHeight);
    }
    return result;
}

void RgbDecode::postFrame(Frame &frame, PixelFormat format)
{
    if (m_refine == nullptr) {
        return;
    }
    const short rotate = m_rotateType;
    if (rotate == 0 || rotate == 1 || rotate == 2) {
        RotationVGARGB888Img(frame.pFrameData, frame.width, frame.height);
        const uint16_t width = frame.width;
        frame.width = frame.height;
        frame.height = width;
    }
    if (format != kPixelRgb888 && format != kPixelBgr888) {
        return;
    }
    AlgImage image{frame.pFrameData, ALG_8UC3, frame.width, frame.height};
    const uint32_t modeWidth = m_modeWidth;
    const uint32_t modeHeight = m_modeHeight;
    // Resizing to the mode must fit the frame's buffer (the mode is set by the application).
    const bool modeFits = uint64_t{modeWidth} * modeHeight * 3 <= frame.bufferSize;
    if (modeFits && modeHeight == 480 && image.width == 360 && image.height == 640) {
        if (m_refine->Crop(&image, 0, 80, 360, 480) == kRefineOk) {
            m_refine->Resize(&image, modeHeight, modeWidth, 0);
        }
    } else if (modeFits && modeHeight == 480 && image.width == 640 && image.height == 360) {
        if (m_refine->Crop(&image, 80, 0, 480, 360) == kRefineOk) {
            m_refine->Resize(&image, modeWidth, modeHeight, 0);
        }
    }
    frame.width = static_cast<uint16_t>(image.width);
    frame.height = static_cast<uint16_t>(image.height);
    frame.dataLen = image.width * image.height * 3;
    m_refine->ProcessColor(&image);
}

void RgbDecode::RotationVGARGB888Img(void *image, uint32_t width, uint32_t height)
{
    if (image == nullptr || width == 0 || height == 0) {
        return;
    }
    auto *pixels = static_cast<uint8_t *>(image);
    const size_t bytes = size_t{width} * height * 3;
    std::vector<uint8_t> rotated(bytes);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            // Output is height wide and width high: input column x becomes output row width-1-x.
            const size_t out = (size_t{width - 1 - x} * height + y) * 3;
            const size_t in = (size_t{y} * width + x) * 3;
            rotated[out] = pixels[in];
            rotated[out + 1] = pixels[in + 1];
            rotated[out + 2] = pixels[in + 2];
        }
    }
    std::memcpy(pixels, rotated.data(), bytes);
}
