// SPDX-License-Identifier: Apache-2.0
// Tests of the firmware images the simulator writes and checks: header fields, both checksums, the
// version text, and each way an image is refused.
#include "SimFirmwareImage.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

uint32_t Sum(const std::vector<uint8_t> &bytes, size_t from, size_t to)
{
    uint32_t sum = 0;
    for (size_t i = from; i < to; ++i) {
        sum += bytes[i];
    }
    return sum;
}

TEST(SimFirmwareImage, WrittenImageCarriesItsHeaderAndChecksums)
{
    orvtest::TempDir dir;
    const std::string path = dir.Path() + "/fw.bin";
    std::string error;
    ASSERT_TRUE(SimFirmwareImage::WriteFile(path, "20260305", 5, 70000, error)) << error;
    std::ifstream file(path, std::ios::binary);
    const std::vector<uint8_t> image{std::istreambuf_iterator<char>(file), {}};
    ASSERT_EQ(image.size(), 70000u);
    EXPECT_EQ(image, SimFirmwareImage::Build("20260305", 5, 70000));

    // The layout read by hand, not through ReadHeader.
    EXPECT_EQ(image[0], 11);
    EXPECT_EQ(image[1], 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(&image[2])), "20260305");
    EXPECT_EQ(image[11], 5);
    EXPECT_EQ(image[12] | image[13] << 8 | image[14] << 16, 70000);
    const uint32_t dataSum = Sum(image, 512, image.size());
    EXPECT_EQ(uint32_t(image[20] | image[21] << 8 | image[22] << 16 | uint32_t(image[23]) << 24), dataSum);
    EXPECT_EQ(SimFirmwareImage::WholeChecksum(image), dataSum + Sum(image, 0, 512));

    SimFirmwareImage::Header header;
    ASSERT_TRUE(SimFirmwareImage::ReadHeader(image, header));
    EXPECT_EQ(SimFirmwareImage::VersionText(header), "KR52_V2.3.7_20260305_V5");
    EXPECT_TRUE(SimFirmwareImage::Check(image, error)) << error;

    EXPECT_FALSE(SimFirmwareImage::WriteFile(path, "2026035", 5, 70000, error));
    EXPECT_FALSE(SimFirmwareImage::WriteFile(path, "20260305", 5, 511, error));
}

TEST(SimFirmwareImage, EachSpoiledImageIsRefused)
{
    const std::vector<uint8_t> good = SimFirmwareImage::Build("20260305", 5, 4096);
    struct Row
    {
        const char *what;
        size_t offset;
        uint8_t flip; // the bits changed
    };
    const Row rows[] = {
        {"device code 12", 0, 0x07}, {"flash type 1", 1, 1},    {"date not digits", 4, 0x40},
        {"length", 13, 1},           {"data byte", 4000, 0x5A}, {"data sum", 20, 1},
    };
    std::string error;
    for (const Row &row : rows) {
        std::vector<uint8_t> image = good;
        image[row.offset] ^= row.flip;
        EXPECT_FALSE(SimFirmwareImage::Check(image, error)) << row.what;
    }
    std::vector<uint8_t> shorter(good.begin(), good.end() - 1);
    EXPECT_FALSE(SimFirmwareImage::Check(shorter, error));
    EXPECT_FALSE(SimFirmwareImage::Check(std::vector<uint8_t>(511, 0), error));
    // A byte of the uninterpreted header changes only the whole-file checksum.
    std::vector<uint8_t> other = good;
    other[100] ^= 1;
    EXPECT_TRUE(SimFirmwareImage::Check(other, error)) << error;
    EXPECT_NE(SimFirmwareImage::WholeChecksum(other), SimFirmwareImage::WholeChecksum(good));
}

} // namespace
