// SPDX-License-Identifier: Apache-2.0
// Tests of the camera's request parser and reply encoder: whole, cut and corrupted frames, fault shapes.
#include "CommandFrame.h"

#include "CommandClient.h"

#include <gtest/gtest.h>

using namespace sim_test;

namespace {

CommandFrame::ParseResult Parse(const std::vector<uint8_t> &bytes, RecordedFrame &frame)
{
    return CommandFrame::ParseRequest(bytes.data(), bytes.size(), frame);
}

TEST(CommandFrameTest, ParsesAWholeFrameAndWaitsForEveryShorterPrefix)
{
    const std::vector<uint8_t> wire = RequestFrame(0x83, {1, 0x10, 0x27, 0, 0});
    for (size_t cut = 0; cut < wire.size(); ++cut) {
        RecordedFrame frame;
        const std::vector<uint8_t> prefix(wire.begin(), wire.begin() + static_cast<std::ptrdiff_t>(cut));
        const CommandFrame::ParseResult result = Parse(prefix, frame);
        EXPECT_EQ(result.status, CommandFrame::ParseStatus::NeedMore) << cut;
        EXPECT_EQ(result.consumed, 0u);
    }
    RecordedFrame frame;
    std::vector<uint8_t> two = wire;
    const std::vector<uint8_t> second = RequestFrame(0x1B, {});
    two.insert(two.end(), second.begin(), second.end());
    const CommandFrame::ParseResult result = Parse(two, frame);
    ASSERT_EQ(result.status, CommandFrame::ParseStatus::Frame);
    EXPECT_EQ(result.consumed, wire.size());
    EXPECT_EQ(frame.command, 0x83);
    EXPECT_EQ(frame.payload, (std::vector<uint8_t>{1, 0x10, 0x27, 0, 0}));
    EXPECT_EQ(frame.raw, wire);

    const CommandFrame::ParseResult next =
        CommandFrame::ParseRequest(two.data() + result.consumed, second.size(), frame);
    ASSERT_EQ(next.status, CommandFrame::ParseStatus::Frame);
    EXPECT_EQ(frame.command, 0x1B);
    EXPECT_TRUE(frame.payload.empty());
    EXPECT_EQ(frame.raw.size(), 11u);
}

TEST(CommandFrameTest, LargestPayloadIsAcceptedAndEveryCorruptionIsGarbage)
{
    RecordedFrame frame;
    EXPECT_EQ(Parse(RequestFrame(0x13, std::vector<uint8_t>(64, 7)), frame).status,
              CommandFrame::ParseStatus::Frame);

    struct Case
    {
        const char *name;
        size_t offset;
        uint8_t value;
    };
    // Offsets into a frame with a 4-byte payload: marker 0..3, body length 4..7, AA, command, n.
    const Case cases[] = {
        {"frame marker", 0, 0xAB},          {"frame marker high byte", 3, 1},
        {"body length below 3", 4, 2},      {"body length above 67", 4, 68},
        {"huge body length", 7, 0x80},      {"body marker", 8, 0x55},
        {"payload length too long", 10, 5}, {"payload length too short", 10, 3},
    };
    for (const Case &c : cases) {
        std::vector<uint8_t> wire = RequestFrame(0x06, {1, 2, 3, 4});
        wire[c.offset] = c.value;
        wire.resize(wire.size() + 80, 0); // the parser must not wait for a body it cannot accept
        EXPECT_EQ(Parse(wire, frame).status, CommandFrame::ParseStatus::Garbage) << c.name;
    }
    // A 65-byte payload is more than the host may send.
    EXPECT_EQ(Parse(RequestFrame(0x13, std::vector<uint8_t>(65, 7)), frame).status,
              CommandFrame::ParseStatus::Garbage);
}

TEST(CommandFrameTest, RepliesInEachShape)
{
    const std::vector<uint8_t> data{9, 8, 7};
    const std::vector<uint8_t> good = CommandFrame::EncodeReply(0x84, data);
    EXPECT_EQ(good, (std::vector<uint8_t>{0xAA, 0, 0, 0, 6, 0, 0, 0, 0xAA, 0x84, 3, 9, 8, 7}));

    const std::vector<uint8_t> marker = CommandFrame::EncodeReply(0x84, data, CommandFault::WrongMarker);
    ASSERT_EQ(marker.size(), good.size());
    EXPECT_NE(U32Le(marker, 0), 0xAAu);
    EXPECT_EQ(std::vector<uint8_t>(marker.begin() + 4, marker.end()),
              std::vector<uint8_t>(good.begin() + 4, good.end()));

    const std::vector<uint8_t> oversized =
        CommandFrame::EncodeReply(0x84, data, CommandFault::OversizedDataLength);
    ASSERT_EQ(oversized.size(), good.size());
    EXPECT_EQ(U32Le(oversized, 4), 6u);
    EXPECT_GT(oversized[10], U32Le(oversized, 4) - 3);
}

} // namespace
