// SPDX-License-Identifier: Apache-2.0
// Tests of the firmware image checks: one well-formed image and one corruption of it per refusal.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

#include "TestSupport.h"
#include "upgrade/FirmwareImage.h"

namespace {

constexpr const char *kCameraVersion = "KR52_V2.3.7_20260101_V3";
constexpr uint32_t kDeviceType = 520;
constexpr size_t kDataBytes = 3000;

/// A valid image newer than kCameraVersion (2026-02-01, sub-version 4), with header fields written
/// after `edit` changed the bytes unless it rewrote them itself.
std::vector<uint8_t> Image(size_t dataBytes = kDataBytes)
{
    std::vector<uint8_t> image(FirmwareImage::kHeaderBytes + dataBytes);
    image[0] = 11;
    std::snprintf(reinterpret_cast<char *>(&image[2]), 9, "%s", "20260201");
    image[11] = 4;
    for (int i = 24; i < FirmwareImage::kHeaderBytes; ++i) {
        image[i] = static_cast<uint8_t>(i * 7);
    }
    uint32_t sum = 0;
    for (size_t i = FirmwareImage::kHeaderBytes; i < image.size(); ++i) {
        image[i] = static_cast<uint8_t>(i * 31 + 5);
        sum += image[i];
    }
    const uint64_t length = image.size();
    for (int i = 0; i < 8; ++i) {
        image[12 + i] = static_cast<uint8_t>(length >> (8 * i));
    }
    for (int i = 0; i < 4; ++i) {
        image[20 + i] = static_cast<uint8_t>(sum >> (8 * i));
    }
    return image;
}

uint32_t ByteSum(const std::vector<uint8_t> &bytes)
{
    uint32_t sum = 0;
    for (uint8_t b : bytes) {
        sum += b;
    }
    return sum;
}

/// Writes `bytes` to a file of the test's scratch directory; its path.
std::string WriteFile(const orvtest::TempDir &dir, const std::string &name, const std::vector<uint8_t> &bytes)
{
    const std::string path = dir.Path() + "/" + name;
    orvtest::WriteFile(path, std::string(bytes.begin(), bytes.end()));
    return path;
}

struct Row
{
    const char *name;
    std::function<void(std::vector<uint8_t> &)> edit;
    int expected;
    const char *cameraVersion = kCameraVersion;
    uint32_t deviceType = kDeviceType;
};

TEST(FirmwareImageTest, EachCheckRefusesItsCorruptionWithItsCode)
{
    const orvtest::TempDir dir;
    const std::vector<Row> rows = {
        {"valid", [](std::vector<uint8_t> &) {}, FirmwareImage::kNewer},
        {"same_sub_version", [](std::vector<uint8_t> &b) { b[11] = 3; }, FirmwareImage::kSameSubVersion},
        {"same_date", [](std::vector<uint8_t> &b) { b[7] = '1'; }, FirmwareImage::kNewer},
        {"date_not_terminated", [](std::vector<uint8_t> &b) { b[10] = '1'; }, FirmwareImage::kBadFile},
        {"camera_version_unusable", [](std::vector<uint8_t> &) {}, FirmwareImage::kRefused, "V2.3.7_V3"},
        {"camera_date_not_digits", [](std::vector<uint8_t> &) {}, FirmwareImage::kRefused,
         "KR52_2026x101_V3"},
        {"not_a_network_camera", [](std::vector<uint8_t> &) {}, FirmwareImage::kRefused, kCameraVersion, 600},
    };
    for (const Row &row : rows) {
        std::vector<uint8_t> image = Image();
        row.edit(image);
        const std::string path = WriteFile(dir, row.name, image);
        int length = -1;
        int checksum = -1;
        EXPECT_EQ(FirmwareImage::Check(path.c_str(), row.cameraVersion, row.deviceType, length, checksum),
                  row.expected)
            << row.name;
        if (row.expected >= 0) {
            EXPECT_EQ(length, static_cast<int>(image.size())) << row.name;
            EXPECT_EQ(static_cast<uint32_t>(checksum), ByteSum(image)) << row.name;
        }
    }
    int length = 0;
    int checksum = 0;
    EXPECT_EQ(FirmwareImage::Check("/nonexistent/fw.bin", kCameraVersion, kDeviceType, length, checksum),
              FirmwareImage::kBadFile);
}

TEST(FirmwareImageTest, ImagesOfTwoGibibytesOrMoreAreRefusedUnread)
{
    // A sparse file whose header claims its true size: refused for the size alone.
    const orvtest::TempDir dir;
    std::vector<uint8_t> header = Image(0);
    const uint64_t size = uint64_t{1} << 31;
    for (int i = 0; i < 8; ++i) {
        header[12 + i] = static_cast<uint8_t>(size >> (8 * i));
    }
    const std::string path = WriteFile(dir, "huge", header);
    ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(size)), 0);
    int length = 0;
    int checksum = 0;
    EXPECT_EQ(FirmwareImage::Check(path.c_str(), kCameraVersion, kDeviceType, length, checksum),
              FirmwareImage::kBadFile);
}

TEST(FirmwareImageTest, CameraVersionTextGivesDateAndSubVersion)
{
    FirmwareImage::Version v;
    ASSERT_TRUE(FirmwareImage::ParseCameraVersion("KR52_V2.3.7_20260101_V12", v));
    EXPECT_EQ(v.DateNumber(), 20260101);
    EXPECT_EQ(v.subVersion, 12);
    EXPECT_FALSE(FirmwareImage::ParseCameraVersion("20260101_V", v)) << "fewer than two characters follow";
    EXPECT_FALSE(FirmwareImage::ParseCameraVersion("2026010_V1", v)) << "underscore before position 9";
}

} // namespace
