// SPDX-License-Identifier: Apache-2.0
// Tests of the camera's command handling without sockets: the request parser on whole, cut and corrupted
// frames, and the command set's defaults, refusals and replies at their limits. (Replies and their fault
// shapes are read off the wire in SimSessionTest.)
#include "SimCommandSet.h"

#include "CommandClient.h"
#include "CommandFrame.h"

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

TEST(SimCommandSetTest, DefaultCalibrationDescribesOneConsistentCameraPair)
{
    const SimSettings s;
    // A point seen by both cameras satisfies x_colour^T F x_tof = 0, and F is not all zero.
    const double p[3] = {100.0, 50.0, 1000.0};
    const double pc[3] = {p[0] + s.translationMm[0], p[1] + s.translationMm[1], p[2] + s.translationMm[2]};
    const double xt[3] = {s.tofIntrinsic[0] * p[0] / p[2] + s.tofIntrinsic[2],
                          s.tofIntrinsic[4] * p[1] / p[2] + s.tofIntrinsic[5], 1.0};
    const double xc[3] = {s.colorIntrinsic[0] * pc[0] / pc[2] + s.colorIntrinsic[2],
                          s.colorIntrinsic[4] * pc[1] / pc[2] + s.colorIntrinsic[5], 1.0};
    double residual = 0;
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            residual += xc[row] * s.fundamental[row * 3 + column] * xt[column];
        }
    }
    EXPECT_NEAR(residual, 0.0, 1e-9);
    double norm = 0;
    for (double f : s.fundamental) {
        norm += f * f;
    }
    EXPECT_GT(norm, 0.0);
}

std::vector<uint8_t> Bytes(size_t size, uint8_t first, uint8_t second = 0)
{
    std::vector<uint8_t> bytes(size, 1);
    bytes[0] = first;
    if (size > 1) {
        bytes[1] = second;
    }
    return bytes;
}

TEST(SimCommandSetTest, BadSettingsAreRefusedAndChangeNothing)
{
    struct Case
    {
        const char *name;
        uint8_t id;
        std::vector<uint8_t> payload;
    };
    const Case cases[] = {
        {"list longer than 62", 0x13, Bytes(64, 7, 63)},
        {"list count beyond its payload", 0x13, {6, 5, 0, 1}},
        {"calibration missing a double", 0x10, Bytes(40, 1)}, // sub-id 1 carries five doubles
        {"calibration sub-id 15", 0x10, Bytes(41, 15)},
        {"lens record cut", 0x15, {2, 1, 0x80}},
        {"unknown device string", 0x13, Bytes(8, 'x')},
        {"unknown command", 0x0F, {1}},
    };
    const SimSettings defaults;
    for (const Case &c : cases) {
        SimSettings settings;
        EXPECT_FALSE(SimCommandSet::ApplySetting(settings, c.id, c.payload)) << c.name;
        EXPECT_EQ(settings.dataModes, defaults.dataModes) << c.name;
        EXPECT_EQ(settings.depthRanges, defaults.depthRanges) << c.name;
        EXPECT_EQ(settings.tofIntrinsic, defaults.tofIntrinsic) << c.name;
        EXPECT_EQ(settings.lenses.at(2).width, 1920) << c.name;
    }
    // Sub-id 0 carries four doubles: 33 bytes are enough.
    SimSettings settings;
    EXPECT_TRUE(SimCommandSet::ApplySetting(settings, 0x10, Bytes(33, 0)));
}

TEST(SimCommandSetTest, LowPowerIsABitOnTopOfTheWorkMode)
{
    SimSettings settings;
    ASSERT_TRUE(SimCommandSet::ApplySetting(settings, 0x12, {3, 0, 0, 0, 0}));
    ASSERT_TRUE(SimCommandSet::ApplySetting(settings, 0x12, {0x20, 0, 0, 0, 0})); // enter
    EXPECT_EQ(settings.workMode.mode, 0x23);
    ASSERT_TRUE(SimCommandSet::ApplySetting(settings, 0x12, {0x20, 0, 0, 1, 1})); // leave
    EXPECT_EQ(settings.workMode.mode, 3);
}

TEST(SimCommandSetTest, RepliesStayWithinSixtyFourBytes)
{
    SimSettings settings;
    std::vector<uint8_t> full(64, 3);
    full[0] = 7;
    full[1] = 62;
    ASSERT_TRUE(SimCommandSet::ApplySetting(settings, 0x13, full));
    const std::vector<uint8_t> list = SimCommandSet::AnswerQuery(settings, 0x93, {7});
    ASSERT_EQ(list.size(), 64u);
    EXPECT_EQ(list[1], 62);
    EXPECT_EQ(list[63], 3);

    settings.firmwareVersion = std::string(100, 'v');
    const std::vector<uint8_t> text = SimCommandSet::AnswerQuery(settings, 0x93, {3});
    EXPECT_EQ(text.size(), 64u);
    EXPECT_EQ(text.front(), 3);
    EXPECT_EQ(text.back(), 0);
}

TEST(SimCommandSetTest, UnknownQueriesEchoTheirPayload)
{
    const SimSettings settings;
    const std::vector<uint8_t> payload{0x42, 1, 2};
    EXPECT_EQ(SimCommandSet::AnswerQuery(settings, 0x8F, payload), payload);
    EXPECT_EQ(SimCommandSet::AnswerQuery(settings, 0x90, {15}), std::vector<uint8_t>{15}); // calibration 15
    EXPECT_EQ(SimCommandSet::AnswerQuery(settings, 0x9D, {9, 9}), (std::vector<uint8_t>{9, 9}));
    EXPECT_EQ(SimCommandSet::AnswerQuery(settings, 0x9C, {1}), std::vector<uint8_t>{1});
    // A query shorter than its layout reads as zero-filled: exposure index 0.
    const std::vector<uint8_t> exposure = SimCommandSet::AnswerQuery(settings, 0x83, {});
    ASSERT_EQ(exposure.size(), 5u);
    EXPECT_EQ(exposure[1] | exposure[2] << 8, 1000);
}

} // namespace
