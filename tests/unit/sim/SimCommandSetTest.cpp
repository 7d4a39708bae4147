// SPDX-License-Identifier: Apache-2.0
// Tests of the camera's command set without sockets: defaults, refusals and replies at their limits.
#include "SimCommandSet.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

double DoubleAt(const std::vector<uint8_t> &bytes, size_t at)
{
    uint64_t bits = 0;
    for (size_t i = 0; i < 8; ++i) {
        bits |= static_cast<uint64_t>(bytes.at(at + i)) << (8 * i);
    }
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

TEST(SimCommandSetTest, DefaultCalibrationDescribesOneConsistentCameraPair)
{
    const SimSettings s;
    EXPECT_DOUBLE_EQ(s.tofIntrinsic[0], 520.0);
    EXPECT_DOUBLE_EQ(s.colorIntrinsic[2], 960.0);
    // A point seen by both cameras satisfies x_colour^T F x_tof = 0.
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
    const std::vector<uint8_t> translation = SimCommandSet::AnswerQuery(settings, 0x90, {10});
    ASSERT_EQ(translation.size(), 25u);
    EXPECT_DOUBLE_EQ(DoubleAt(translation, 1), -25.0);
}

} // namespace
