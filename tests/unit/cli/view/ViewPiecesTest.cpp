// SPDX-License-Identifier: Apache-2.0
// The viewer's library-free pieces: the frame header's bytes, the latest-frame slot, a page whose
// writes block, the Origin check, the served files and the message of a raw frame.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <future>
#include <mutex>

#include "FrameHeader.h"
#include "FrameSource.h"
#include "JpegEncoder.h"
#include "LatestFrameSlot.h"
#include "OriginCheck.h"
#include "TestSupport.h"
#include "ViewAssets.h"
#include "ViewPage.h"

namespace orvane::cli {
namespace {

uint64_t ReadLe(const uint8_t *bytes, size_t size)
{
    uint64_t value = 0;
    for (size_t i = 0; i < size; ++i) {
        value |= static_cast<uint64_t>(bytes[i]) << (8 * i);
    }
    return value;
}

FrameMessage Frame(uint8_t tag)
{
    return std::make_shared<const std::vector<uint8_t>>(1, tag);
}

TEST(FrameHeader, EveryFieldSitsAtItsOffsetLittleEndian)
{
    FrameHeader header;
    header.stream = ViewStream::kColor;
    header.encoding = FrameEncoding::kJpeg;
    header.format = FrameFormat::kJpeg;
    header.index = 0x01020304;
    header.width = 0x0A0B;
    header.height = 0x0C0D;
    header.timestampUs = 0x1112131415161718;
    header.hostTimeUs = 0x2122232425262728;
    header.payloadBytes = 0x31323334;
    const auto bytes = header.Encode();
    ASSERT_EQ(bytes.size(), 48u);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(bytes.data()), 4), "ORVF");
    const struct
    {
        size_t offset;
        size_t size;
        uint64_t expected;
    } fields[] = {{0, 4, 0x4656524F},
                  {4, 2, 1},
                  {6, 2, 48},
                  {8, 1, 3},
                  {9, 1, 1},
                  {10, 2, 3},
                  {12, 4, 0x01020304},
                  {16, 2, 0x0A0B},
                  {18, 2, 0x0C0D},
                  {20, 4, 0},
                  {24, 8, 0x1112131415161718},
                  {32, 8, 0x2122232425262728},
                  {40, 4, 0x31323334},
                  {44, 4, 0}};
    for (const auto &field : fields) {
        EXPECT_EQ(ReadLe(bytes.data() + field.offset, field.size), field.expected)
            << "offset " << field.offset;
    }
}

TEST(LatestFrameSlot, ANewFrameReplacesAnUnsentOneAndCountsADrop)
{
    LatestFrameSlot slot;
    EXPECT_EQ(slot.Take(), nullptr);
    slot.Offer(Frame(1));
    slot.Offer(Frame(2));
    slot.Offer(Frame(3));
    EXPECT_EQ(slot.Dropped(), 2u);
    const FrameMessage kept = slot.Take();
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ((*kept)[0], 3);
    EXPECT_FALSE(slot.Full());
    slot.Offer(Frame(4)); // the slot was emptied by the send: no drop
    EXPECT_EQ(slot.Dropped(), 2u);
}

TEST(ViewPage, AWriteThatBlocksHoldsUpNeitherTheFrameThreadNorTheOtherPages)
{
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<int> slowWrites{0};
    std::atomic<int> fastFrames{0};
    ViewPage slow(
        1,
        [&](ViewPage::Opcode, const uint8_t *, size_t) {
            ++slowWrites;
            released.wait(); // a page that does not read
            return true;
        },
        [] { return CameraDrops{}; });
    ViewPage fast(
        2,
        [&](ViewPage::Opcode opcode, const uint8_t *, size_t) {
            fastFrames += opcode == ViewPage::Opcode::kBinary ? 1 : 0;
            return true;
        },
        [] { return CameraDrops{}; });
    slow.Start();
    fast.Start();
    slow.Offer(ViewStream::kDepth, Frame(0));
    for (uint8_t i = 1; i <= 50; ++i) { // would hang here if Offer waited on the blocked write
        slow.Offer(ViewStream::kDepth, Frame(i));
        fast.Offer(ViewStream::kDepth, Frame(i));
        ASSERT_TRUE(orvtest::WaitUntil([&] { return fastFrames >= i; }));
    }
    EXPECT_EQ(slowWrites.load(), 1);
    EXPECT_EQ(fastFrames.load(), 50);
    EXPECT_GE(slow.Dropped()[0], 48u); // all but the one being written and the one waiting
    release.set_value();
    slow.Stop();
    fast.Stop();
}

TEST(ViewPage, APausedStreamIsNotOffered)
{
    ViewPage page(
        1, [](ViewPage::Opcode, const uint8_t *, size_t) { return true; }, [] { return CameraDrops{}; });
    page.SetPaused({ViewStream::kIr}, true);
    EXPECT_FALSE(page.Wants(ViewStream::kIr));
    EXPECT_TRUE(page.Wants(ViewStream::kDepth));
    page.Offer(ViewStream::kIr, Frame(1));
    page.Offer(ViewStream::kIr, Frame(2));
    EXPECT_EQ(page.Dropped()[1], 0u);
    page.SetPaused({ViewStream::kIr}, false);
    EXPECT_TRUE(page.Wants(ViewStream::kIr));
}

TEST(OriginCheck, OnlyThisServerAsThePageReachedItIsAllowed)
{
    const struct
    {
        const char *origin;
        const char *host;
        bool allowed;
    } cases[] = {
        {nullptr, "127.0.0.1:8090", true}, // not a browser
        {"http://127.0.0.1:8090", "127.0.0.1:8090", true},
        {"http://LOCALHOST:8090", "localhost:8090", true},
        {"HTTP://localhost:8090", "localhost:8090", true},
        {"http://[::1]:8090", "[::1]:8090", true},
        {"http://127.0.0.1:8091", "127.0.0.1:8090", false},
        {"http://127.0.0.1", "127.0.0.1:8090", false},
        {"http://evil.example:8090", "127.0.0.1:8090", false},
        {"https://127.0.0.1:8090", "127.0.0.1:8090", false},
        {"null", "127.0.0.1:8090", false},
        {"", "127.0.0.1:8090", false},
        {"http://127.0.0.1:8090/", "127.0.0.1:8090", false},
        {"http://user@127.0.0.1:8090", "127.0.0.1:8090", false},
        {"http://127.0.0.1:8090", nullptr, false},
        {"http://127.0.0.1.evil:8090", "127.0.0.1:8090", false},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(OriginCheck::Allows(c.origin, c.host), c.allowed)
            << (c.origin ? c.origin : "(none)") << " from " << (c.host ? c.host : "(none)");
    }
}

TEST(ViewAssets, FilesAreServedByTypeAndTheRootIsTheIndex)
{
    const struct
    {
        const char *name;
        const char *type;
    } types[] = {{"index.html", "text/html; charset=utf-8"},
                 {"a.js", "text/javascript; charset=utf-8"},
                 {"a.css", "text/css; charset=utf-8"},
                 {"a.svg", "image/svg+xml"},
                 {"a.png", "image/png"},
                 {"a.ico", "image/x-icon"},
                 {"a.txt", nullptr},
                 {".js.map", nullptr},
                 {"js", nullptr}};
    for (const auto &t : types) {
        const char *type = ViewAssets::TypeOf(t.name);
        EXPECT_EQ(type == nullptr ? std::string("none") : type, t.type == nullptr ? "none" : t.type)
            << t.name;
    }
    const EmbeddedAsset *root = ViewAssets::Find("/");
    ASSERT_NE(root, nullptr);
    EXPECT_STREQ(root->name, "index.html");
    EXPECT_EQ(ViewAssets::Find("/index.html"), root);
    EXPECT_EQ(ViewAssets::Find("/../index.html"), nullptr);
    EXPECT_EQ(ViewAssets::Find("index.html"), nullptr);
    EXPECT_EQ(ViewAssets::Find("/missing.js"), nullptr);
}

TEST(FrameSource, ARawFrameIsSentWhenItsDataHoldItsPixels)
{
    std::vector<uint8_t> pixels(4 * 3 * 2, 0x5A);
    TfFrame frame{};
    frame.frameIndex = 77;
    frame.pixelFormat = TF_PIXEL_DEPTH_MM16;
    frame.width = 4;
    frame.height = 3;
    frame.timestamp = 123456;
    frame.pFrameData = pixels.data();
    frame.dataLen = static_cast<uint32_t>(pixels.size());
    std::string error;
    const FrameMessage message = FrameSource::RawMessage(ViewStream::kDepth, frame, 42, error);
    ASSERT_NE(message, nullptr) << error;
    ASSERT_EQ(message->size(), 48u + pixels.size());
    EXPECT_EQ(ReadLe(message->data() + 12, 4), 77u);
    EXPECT_EQ(ReadLe(message->data() + 32, 8), 42u);
    EXPECT_EQ(ReadLe(message->data() + 40, 4), pixels.size());

    const struct
    {
        uint32_t pixelFormat;
        uint32_t dataLen;
        bool hasData;
    } refused[] = {
        {TF_PIXEL_DEPTH_MM16, 23, true}, {TF_PIXEL_GRAY16, 24, false}, {TF_PIXEL_RGB888, 24, true}};
    for (const auto &r : refused) {
        TfFrame bad = frame;
        bad.pixelFormat = r.pixelFormat;
        bad.dataLen = r.dataLen;
        bad.pFrameData = r.hasData ? pixels.data() : nullptr;
        error.clear();
        EXPECT_EQ(FrameSource::RawMessage(ViewStream::kDepth, bad, 42, error), nullptr);
        EXPECT_FALSE(error.empty());
    }
    frame.pixelFormat = TF_PIXEL_GRAY8; // 12 of the 24 bytes are the image
    const FrameMessage gray8 = FrameSource::RawMessage(ViewStream::kIr, frame, 42, error);
    ASSERT_NE(gray8, nullptr);
    EXPECT_EQ(gray8->size(), 48u + 12u);
    EXPECT_EQ(ReadLe(gray8->data() + 10, 2), static_cast<uint64_t>(FrameFormat::kGray8));
}

TEST(JpegEncoder, WideColourIsHalvedUntilItFitsAndShortDataIsRefused)
{
    JpegEncoder encoder;
    std::vector<uint8_t> rgb(1920 * 1080 * 3, 0x80);
    std::string error;
    ASSERT_TRUE(encoder.Encode(rgb.data(), rgb.size(), 1920, 1080, false, error)) << error;
    EXPECT_EQ(encoder.Width(), 960); // halved once: 960 is not wider than 960
    EXPECT_EQ(encoder.Height(), 540);
    ASSERT_GE(encoder.Jpeg().size(), 4u);
    EXPECT_EQ(encoder.Jpeg()[0], 0xFF);
    EXPECT_EQ(encoder.Jpeg()[1], 0xD8);
    std::vector<uint8_t> bgr(3200 * 2400 * 3, 0x40);
    ASSERT_TRUE(encoder.Encode(bgr.data(), bgr.size(), 3200, 2400, true, error)) << error;
    EXPECT_EQ(encoder.Width(), 800); // halved twice
    EXPECT_EQ(encoder.Height(), 600);

    EXPECT_FALSE(encoder.Encode(rgb.data(), 100, 640, 480, false, error));
    EXPECT_FALSE(error.empty());
}

} // namespace
} // namespace orvane::cli
