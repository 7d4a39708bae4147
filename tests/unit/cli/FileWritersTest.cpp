// SPDX-License-Identifier: Apache-2.0
// The files `save` writes, read back: PNG in every pixel format (16-bit samples big-endian), PLY binary
// and ASCII with and without colour, raw pixels with their sidecar; refused frames leave no file behind.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "FrameSaver.h"
#include "PlyWriter.h"
#include "PngReadBack.h"
#include "PngWriter.h"
#include "RawFrameWriter.h"
#include "TestSupport.h"

namespace orvane::cli {
namespace {

using orvtest::ReadFile;
using orvtest::ReadPng;
using orvtest::TempDir;

TfFrame MakeFrame(uint32_t format, uint16_t width, uint16_t height, std::vector<uint8_t> &pixels)
{
    TfFrame frame{};
    frame.frameIndex = 77;
    frame.frameType = TF_FRAME_DEPTH;
    frame.pixelFormat = format;
    frame.width = width;
    frame.height = height;
    frame.pFrameData = pixels.data();
    frame.dataLen = static_cast<uint32_t>(pixels.size());
    return frame;
}

size_t FilesIn(const std::string &directory)
{
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(directory), {}));
}

TEST(PngWriter, EveryPixelFormatReadsBackAsStored)
{
    struct Row
    {
        const char *name;
        uint32_t format;
        std::vector<uint8_t> pixels; // 2 x 1
        int bitDepth, colorType;
        std::vector<uint8_t> stored;
    };
    const Row rows[] = {
        {"depth, host order to big-endian",
         TF_PIXEL_DEPTH_MM16,
         {0x02, 0x01, 0xFF, 0xFF},
         16,
         PNG_COLOR_TYPE_GRAY,
         {0x01, 0x02, 0xFF, 0xFF}},
        {"16-bit gray",
         TF_PIXEL_GRAY16,
         {0x34, 0x12, 0x00, 0x00},
         16,
         PNG_COLOR_TYPE_GRAY,
         {0x12, 0x34, 0, 0}},
        {"8-bit gray", TF_PIXEL_GRAY8, {0x10, 0xF0}, 8, PNG_COLOR_TYPE_GRAY, {0x10, 0xF0}},
        {"RGB", TF_PIXEL_RGB888, {1, 2, 3, 4, 5, 6}, 8, PNG_COLOR_TYPE_RGB, {1, 2, 3, 4, 5, 6}},
        {"BGR stored as RGB", TF_PIXEL_BGR888, {1, 2, 3, 4, 5, 6}, 8, PNG_COLOR_TYPE_RGB, {3, 2, 1, 6, 5, 4}},
    };
    TempDir dir;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<uint8_t> pixels = row.pixels;
        PngImage image;
        std::string error;
        const std::string path = dir.Path() + "/image.png";
        ASSERT_TRUE(PngWriter::ImageOf(MakeFrame(row.format, 2, 1, pixels), image, error)) << error;
        ASSERT_TRUE(PngWriter::Write(path, image, error)) << error;
        const orvtest::PngContent read = ReadPng(path);
        ASSERT_TRUE(read.ok);
        EXPECT_EQ(read.width, 2u);
        EXPECT_EQ(read.height, 1u);
        EXPECT_EQ(read.bitDepth, row.bitDepth);
        EXPECT_EQ(read.colorType, row.colorType);
        EXPECT_EQ(read.bytes, row.stored);
    }
    EXPECT_EQ(FilesIn(dir.Path()), 1u) << "no temporary file left";
}

TEST(PngWriter, RefusedFramesWriteNothing)
{
    TempDir dir;
    std::vector<uint8_t> pixels(7); // 2 x 2 gray16 needs 8
    std::string error;
    PngImage image;
    ASSERT_TRUE(PngWriter::ImageOf(MakeFrame(TF_PIXEL_GRAY16, 2, 2, pixels), image, error));
    EXPECT_FALSE(PngWriter::Write(dir.Path() + "/short.png", image, error));
    EXPECT_NE(error.find("7 bytes"), std::string::npos) << error;
    EXPECT_FALSE(PngWriter::ImageOf(MakeFrame(99, 2, 2, pixels), image, error));
    pixels.resize(8);
    ASSERT_TRUE(PngWriter::ImageOf(MakeFrame(TF_PIXEL_GRAY16, 2, 2, pixels), image, error));
    EXPECT_FALSE(PngWriter::Write(dir.Path() + "/missing/dir.png", image, error));
    EXPECT_EQ(FilesIn(dir.Path()), 0u);
}

/// The header lines up to end_header and the body after it.
std::pair<std::vector<std::string>, std::string> SplitPly(const std::string &file)
{
    const size_t end = file.find("end_header\n");
    std::vector<std::string> lines;
    std::istringstream header(file.substr(0, end));
    for (std::string line; std::getline(header, line);) {
        lines.push_back(line);
    }
    return {lines, end == std::string::npos ? std::string() : file.substr(end + 11)};
}

TEST(PlyWriter, BinaryAndAsciiWithAndWithoutColour)
{
    TempDir dir;
    PointCloud cloud;
    cloud.points = {{1.5f, -2.25f, 1000.0f}, {0.0f, 0.125f, 65534.0f}};
    cloud.rgb = {255, 0, 10, 1, 2, 3};
    std::string error;
    ASSERT_TRUE(PlyWriter::Write(dir.Path() + "/c.ply", cloud, false, error)) << error;
    auto [header, body] = SplitPly(ReadFile(dir.Path() + "/c.ply"));
    ASSERT_GE(header.size(), 9u);
    EXPECT_EQ(header[1], "format binary_little_endian 1.0");
    EXPECT_EQ(header[3], "element vertex 2");
    EXPECT_EQ(header.back(), "property uchar blue");
    ASSERT_EQ(body.size(), 2u * 15);
    const uint8_t expectedY[] = {0x00, 0x00, 0x10, 0xC0}; // -2.25f little-endian
    EXPECT_EQ(std::memcmp(body.data() + 4, expectedY, 4), 0);
    float z;
    std::memcpy(&z, body.data() + 15 + 8, sizeof z);
    EXPECT_EQ(z, 65534.0f);
    EXPECT_EQ(static_cast<uint8_t>(body[15 + 12]), 1);

    cloud.rgb.clear();
    ASSERT_TRUE(PlyWriter::Write(dir.Path() + "/a.ply", cloud, true, error)) << error;
    std::tie(header, body) = SplitPly(ReadFile(dir.Path() + "/a.ply"));
    EXPECT_EQ(header[1], "format ascii 1.0");
    EXPECT_EQ(header.back(), "property float z");
    EXPECT_EQ(body, "1.500 -2.250 1000.000\n0.000 0.125 65534.000\n");

    cloud.rgb = {1, 2};
    EXPECT_FALSE(PlyWriter::Write(dir.Path() + "/bad.ply", cloud, false, error));
    EXPECT_EQ(FilesIn(dir.Path()), 2u);
}

TEST(RawFrameWriter, PixelsAsTheyAreAndEveryFieldInTheSidecar)
{
    TempDir dir;
    std::vector<uint8_t> pixels = {9, 8, 7, 6};
    TfFrame frame = MakeFrame(TF_PIXEL_GRAY16, 2, 1, pixels);
    frame.timestamp = (uint64_t{1} << 40) + 3; // beyond 32 bits and a double's exact range is not needed
    frame.imuFrameNo = 200;
    frame.exposureTime = 1.5f;
    std::string error;
    const std::string stem = dir.Path() + "/" + FrameSaver::Stem("KR52Lite:SN/1 x", 77, "ir");
    EXPECT_EQ(stem, dir.Path() + "/SN_1_x_77_ir");
    ASSERT_TRUE(
        RawFrameWriter::Write(stem + ".raw", stem + ".json", frame, {{"uri", "KR52Lite:SN/1 x"}}, error));
    EXPECT_EQ(ReadFile(stem + ".raw"), std::string("\x09\x08\x07\x06", 4));
    const nlohmann::json sidecar = nlohmann::json::parse(ReadFile(stem + ".json"));
    EXPECT_EQ(sidecar["pixels"], "SN_1_x_77_ir.raw");
    EXPECT_EQ(sidecar["camera"]["uri"], "KR52Lite:SN/1 x");
    const nlohmann::json &f = sidecar["frame"];
    EXPECT_EQ(f.size(), 10u) << "every field but the data pointer";
    EXPECT_EQ(f["timestamp"].get<uint64_t>(), (uint64_t{1} << 40) + 3);
    EXPECT_EQ(f["frameIndex"], 77);
    EXPECT_EQ(f["imuFrameNo"], 200);
    EXPECT_EQ(f["dataLen"], 4);
    EXPECT_EQ(f["pixelFormat"], TF_PIXEL_GRAY16);
    EXPECT_EQ(f["exposureTime"], 1.5);
}

} // namespace
} // namespace orvane::cli
