// SPDX-License-Identifier: Apache-2.0
// Tests of the colour decoder: JPEGs compressed here from a known image and wrapped as the camera sends
// them, the 12-bit YUV format, bad packets, and the worker's delivery.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "StreamBuffers.h"
#include "TestSupport.h"
#include "pipeline/FrameQueue.h"
#include "pipeline/RgbDecode.h"
#include "refine/APIDepthRefine.h"

namespace {

constexpr int kTolerance = 10; // JPEG at quality 95, 4:4:4, away from edges

struct Rgb
{
    int r, g, b;
};

/// Red rises left to right, green top to bottom, blue alternates in 64-pixel squares: every channel
/// differs, so a swapped byte order or a shifted image cannot pass.
Rgb SyntheticPixel(uint32_t x, uint32_t y, uint32_t width, uint32_t height)
{
    const bool light = ((x / 64) + (y / 64)) % 2 == 0;
    return Rgb{static_cast<int>(x * 255 / (width - 1)), static_cast<int>(y * 255 / (height - 1)),
               light ? 220 : 30};
}

std::vector<uint8_t> SyntheticImage(uint32_t width, uint32_t height)
{
    std::vector<uint8_t> rgb(size_t{width} * height * 3);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const Rgb p = SyntheticPixel(x, y, width, height);
            uint8_t *out = &rgb[(size_t{y} * width + x) * 3];
            out[0] = static_cast<uint8_t>(p.r);
            out[1] = static_cast<uint8_t>(p.g);
            out[2] = static_cast<uint8_t>(p.b);
        }
    }
    return rgb;
}

std::vector<uint8_t> CompressJpeg(uint32_t width, uint32_t height)
{
    return orvtest::CompressJpeg(SyntheticImage(width, height), int(width), int(height), TJSAMP_444, 95);
}

/// A colour sub-packet as the camera sends it, with the (zero) exposure trailer for the typeIds that
/// carry one.
std::vector<uint8_t> SubPacket(uint8_t typeId, std::vector<uint8_t> payload, bool trailer)
{
    payload.resize(payload.size() + (trailer ? 4 : 0), 0);
    return orvtest::BufferBuilder().Packet(typeId, payload).Bytes();
}

/// A frame whose buffer is exactly `bytes` long, so that ASan sees any write past it.
struct OwnedFrame
{
    std::vector<uint8_t> buffer;
    Frame frame{};
    explicit OwnedFrame(uint32_t bytes, uint8_t fill = 0) : buffer(bytes, fill)
    {
        frame.pFrameData = buffer.data();
        frame.bufferSize = bytes;
    }
};

Rgb PixelAt(const Frame &frame, uint32_t x, uint32_t y, PixelFormat format)
{
    const uint8_t *p = frame.pFrameData + (size_t{y} * frame.width + x) * 3;
    return format == kPixelRgb888 ? Rgb{p[0], p[1], p[2]} : Rgb{p[2], p[1], p[0]};
}

/// I420 of 2x2 blocks of one colour, BT.601 studio range, as the camera's 12-bit format.
std::vector<uint8_t> EncodeI420(const std::vector<Rgb> &colours, uint32_t width, uint32_t height)
{
    std::vector<uint8_t> yuv(size_t{width} * height * 3 / 2);
    uint8_t *yPlane = yuv.data();
    uint8_t *uPlane = yPlane + size_t{width} * height;
    uint8_t *vPlane = uPlane + size_t{width} * height / 4;
    for (uint32_t by = 0; by < height / 2; ++by) {
        for (uint32_t bx = 0; bx < width / 2; ++bx) {
            const Rgb c = colours[(bx / 40) % colours.size()];
            const double y = 16 + 0.257 * c.r + 0.504 * c.g + 0.098 * c.b;
            for (uint32_t d = 0; d < 4; ++d) {
                yPlane[(by * 2 + d / 2) * width + bx * 2 + d % 2] = static_cast<uint8_t>(y + 0.5);
            }
            uPlane[by * (width / 2) + bx] =
                static_cast<uint8_t>(128 - 0.148 * c.r - 0.291 * c.g + 0.439 * c.b + 0.5);
            vPlane[by * (width / 2) + bx] =
                static_cast<uint8_t>(128 + 0.439 * c.r - 0.368 * c.g - 0.071 * c.b + 0.5);
        }
    }
    return yuv;
}

/// Decodes one packet directly into a frame of its own.
uint32_t DecodeInto(RgbDecode &decoder, const std::vector<uint8_t> &packet, OwnedFrame &out,
                    uint32_t bytes = 0)
{
    return decoder.DecodeRGB(packet.data(), bytes != 0 ? bytes : static_cast<uint32_t>(packet.size()),
                             &out.frame);
}

/// A refine library object for the test program's decoders (each decoder borrows it).
APIDepthRefine *TestRefine()
{
    static const std::unique_ptr<APIDepthRefine> refine(Get_APIDepthRefine());
    return refine.get();
}

class RgbDecodeTest : public ::testing::Test
{
protected:
    /// Feeds one raw colour frame to the worker's input queue.
    void PushRaw(const std::vector<uint8_t> &packet, uint32_t frameIndex)
    {
        Frame *raw = m_raw.AllocFrame(kFrameRawColor);
        ASSERT_NE(raw, nullptr);
        ASSERT_LE(packet.size(), +raw->bufferSize);
        std::memcpy(raw->pFrameData, packet.data(), packet.size());
        raw->dataLen = static_cast<uint32_t>(packet.size());
        raw->frameIndex = frameIndex;
        raw->hasFrameMask = kHasColor | kHasDepth;
        raw->timestamp = 1000 + frameIndex;
        m_raw.Push(raw);
    }
    orvtest::LoggedHome m_home;
    FrameQueue m_raw{kFrameRawColor, 2, 4};
};

TEST_F(RgbDecodeTest, JpegOfAnotherSizeIsDroppedOr640x360IsScaledTo640x480)
{
    RgbDecode decoder(&m_raw, TestRefine()); // a running worker on the raw queue, set for 640x480 colour
    decoder.SetMode(FrameMode{640, 480, 25});
    decoder.SetPixelFormat(kPixelRgb888);
    decoder.Start();
    PushRaw(SubPacket(0x34, CompressJpeg(1280, 720), true), 1);
    ASSERT_TRUE(orvtest::WaitUntil([&] { return decoder.GetResolutionMismatchCount() == 1; }));
    EXPECT_FALSE(decoder.RGBIsReady());

    // The next frame still comes through: a 640x360 image, of which the middle 480 columns are kept and
    // scaled by 4/3, so output (x, y) shows input (80 + 3x/4, 3y/4).
    PushRaw(SubPacket(0x33, CompressJpeg(640, 360), true), 2);
    Frame *frame = nullptr;
    ASSERT_TRUE(orvtest::WaitUntil([&] { return decoder.RGBIsReady(); }));
    ASSERT_EQ(decoder.GetRGB(&frame), 0);
    EXPECT_EQ(+frame->frameIndex, 2u);
    EXPECT_EQ(+frame->width, 640);
    EXPECT_EQ(+frame->height, 480);
    EXPECT_EQ(+frame->dataLen, 640u * 480 * 3);
    for (const auto &[x, y] : {std::pair{320u, 240u}, {40u, 40u}, {600u, 440u}}) {
        const Rgb want = SyntheticPixel(80 + x * 3 / 4, y * 3 / 4, 640, 360);
        const Rgb got = PixelAt(*frame, x, y, kPixelRgb888);
        EXPECT_NEAR(got.r, want.r, kTolerance) << x << "," << y;
        EXPECT_NEAR(got.g, want.g, kTolerance) << x << "," << y;
    }
    decoder.RecycleDecodedColorFrame(frame);
}

TEST_F(RgbDecodeTest, JpegLargerThanTheOutputFrameIsRejectedBeforeDecoding)
{
    RgbDecode decoder(nullptr, nullptr);
    const std::vector<uint8_t> big = CompressJpeg(1280, 720);
    const std::tuple<const char *, uint8_t, bool> cases[] = {
        {"listed size", 0x34, true}, {"unlisted size", 0x25, false}, {"unknown typeId", 0x40, false}};
    for (const auto &[name, typeId, trailer] : cases) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> packet = SubPacket(typeId, big, trailer);
        OwnedFrame out(640 * 480 * 3, 0xAB);
        const uint64_t before = decoder.GetOversizedJpegCount();
        EXPECT_EQ(DecodeInto(decoder, packet, out), packet.size());
        EXPECT_EQ(+out.frame.dataLen, 0u);
        EXPECT_EQ(decoder.GetOversizedJpegCount(), before + 1);
        EXPECT_EQ(out.buffer, std::vector<uint8_t>(640 * 480 * 3, 0xAB));
    }
}

TEST_F(RgbDecodeTest, TwelveBitFormatConvertsToTheExpectedColours)
{
    const std::vector<Rgb> colours = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {250, 200, 30}, {20, 90, 160}};
    // The camera sends exactly the image's 460,800 bytes and writes the exposure value over the last four.
    std::vector<uint8_t> image = EncodeI420(colours, 640, 480);
    ASSERT_EQ(image.size(), 460800u);
    const float exposureS = 0.01f;
    std::memcpy(image.data() + image.size() - 4, &exposureS, 4);
    const std::vector<uint8_t> packet = SubPacket(0x35, image, false);
    for (const PixelFormat format : {kPixelRgb888, kPixelBgr888}) {
        SCOPED_TRACE(format);
        RgbDecode decoder(nullptr, TestRefine());
        decoder.SetPixelFormat(format);
        OwnedFrame out(640 * 480 * 3);
        EXPECT_EQ(DecodeInto(decoder, packet, out), packet.size());
        EXPECT_EQ(decoder.GetDecodeType(), RgbDecode::kDecodeOther);
        ASSERT_EQ(+out.frame.dataLen, 640u * 480 * 3);
        EXPECT_EQ(+out.frame.width, 640);
        EXPECT_EQ(+out.frame.height, 480);
        EXPECT_NEAR(out.frame.exposureTime, 10.0f, 1e-3f);
        for (uint32_t x = 0; x < 640; x += 37) {
            const Rgb got = PixelAt(out.frame, x, (x * 7) % 480, format),
                      want = colours[(x / 80) % colours.size()];
            EXPECT_TRUE(std::abs(got.r - want.r) <= 3 && std::abs(got.g - want.g) <= 3 &&
                        std::abs(got.b - want.b) <= 3)
                << x << ": " << got.r << "," << got.g << "," << got.b;
        }
    }

    // Without the library the bytes would stay YUV: nothing is delivered as colour.
    RgbDecode bare(nullptr, nullptr);
    OwnedFrame out(640 * 480 * 3);
    DecodeInto(bare, packet, out);
    EXPECT_EQ(+out.frame.dataLen, 0u);
}

TEST_F(RgbDecodeTest, TruncatedAndCorruptedPacketsGiveNoFrame)
{
    const std::vector<uint8_t> jpeg = CompressJpeg(640, 480);
    std::vector<uint8_t> overwritten = jpeg;
    std::fill_n(overwritten.begin() + 2, 200, 0x5A);
    const std::pair<const char *, std::vector<uint8_t>> cases[] = {
        {"start of image only", {0xFF, 0xD8}},
        {"cut in the header", std::vector<uint8_t>(jpeg.begin(), jpeg.begin() + 100)},
        {"cut in the data", std::vector<uint8_t>(jpeg.begin(), jpeg.begin() + jpeg.size() / 2)},
        {"header overwritten", overwritten},
    };
    RgbDecode decoder(nullptr, TestRefine());
    decoder.SetMode(FrameMode{640, 480, 25});
    for (const auto &[name, payload] : cases) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> packet = SubPacket(0x34, payload, true);
        OwnedFrame out(640 * 480 * 3);
        DecodeInto(decoder, packet, out);
        EXPECT_EQ(+out.frame.dataLen, 0u);
    }

    // (Other corruption is the colour decoder fuzz target's.) A length field beyond the bytes at hand and a
    // packet shorter than its header.
    std::vector<uint8_t> packet = SubPacket(0x34, jpeg, true);
    OwnedFrame out(640 * 480 * 3);
    EXPECT_EQ(DecodeInto(decoder, packet, out, static_cast<uint32_t>(packet.size() - 1)), 0u);
    EXPECT_EQ(DecodeInto(decoder, packet, out, 3), 0u);
    EXPECT_EQ(+out.frame.dataLen, 0u);
}

TEST(RgbDecodeGeometryTest, RotationTurnsTheImageCounterClockwise)
{
    // 3 wide, 2 high; each pixel's bytes carry its index.
    std::vector<uint8_t> image(3 * 2 * 3);
    for (size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<uint8_t>(i / 3);
    }
    RgbDecode::RotationVGARGB888Img(image.data(), 3, 2);
    // Now 2 wide, 3 high: the right column comes to the top.
    const std::vector<uint8_t> want = {2, 5, 1, 4, 0, 3};
    for (size_t p = 0; p < want.size(); ++p) {
        EXPECT_EQ(image[p * 3], want[p]) << p;
        EXPECT_EQ(image[p * 3 + 2], want[p]) << p;
    }
}

} // namespace
