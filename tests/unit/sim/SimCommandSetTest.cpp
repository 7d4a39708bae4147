// SPDX-License-Identifier: Apache-2.0
// Tests of the camera's request parser without sockets, on whole, cut and corrupted frames.
#include "SimCommandSet.h"

#include "CommandFrame.h"

#include <gtest/gtest.h>

namespace {

/// The request frame a host sends: AA 00 00 00, n + 3 (u32 LE), AA, command, n, payload.
std::vector<uint8_t> RequestFrame(uint8_t command, const std::vector<uint8_t> &payload)
{
    const auto n = static_cast<uint8_t>(payload.size());
    std::vector<uint8_t> frame{0xAA, 0, 0, 0, static_cast<uint8_t>(n + 3), 0, 0, 0, 0xAA, command, n};
    for (uint8_t byte : payload) { // push_back, not insert: GCC 12 misreads insert's bounds here
        frame.push_back(byte);
    }
    return frame;
}

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

} // namespace
