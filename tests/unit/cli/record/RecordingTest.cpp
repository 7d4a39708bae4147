// SPDX-License-Identifier: Apache-2.0
// The recording format end to end: what the writer writes the reader gives back whole, or says why not.
#include "ByteCursor.h"
#include "Crc32.h"
#include "RecordingReader.h"
#include "RecordingWriter.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace orvane::cli::record {
namespace {

const std::string kHeaderJson = R"({"camera":{"uri":"KR52CPro:SIM0001"},"dataMode":2})";

/// Frame sets of varied shapes: a ToF triple with colour, an empty set, a frame without pixels.
std::vector<FrameSet> SampleSets(size_t count, size_t pixelBytes)
{
    std::vector<FrameSet> sets(count);
    for (size_t s = 0; s < count; ++s) {
        const size_t frames = s % 3 == 1 ? 0 : 1 + s % 4;
        for (size_t f = 0; f < frames; ++f) {
            RecordedFrame frame;
            frame.frameIndex = static_cast<uint32_t>(0xFFFFFFF0u + s);
            frame.frameType = static_cast<uint32_t>(f);
            frame.pixelFormat = 3;
            frame.imuFrameNo = static_cast<uint8_t>(s);
            frame.width = 640;
            frame.height = 480;
            frame.depthRange = 5;
            frame.exposureTime = 1.25f * static_cast<float>(s);
            frame.timestamp = 0x0123456789ABCDEFull + s;
            frame.hostTimeNs = 40'000'000ull * s;
            frame.pixels.resize(f == 2 ? 0 : pixelBytes + s);
            for (size_t i = 0; i < frame.pixels.size(); ++i) {
                frame.pixels[i] = static_cast<uint8_t>(i * 7 + s + (i / 97));
            }
            sets[s].frames.push_back(frame);
        }
    }
    return sets;
}

void ExpectSame(const FrameSet &want, const FrameSet &got)
{
    ASSERT_EQ(want.frames.size(), got.frames.size());
    for (size_t i = 0; i < want.frames.size(); ++i) {
        const RecordedFrame &a = want.frames[i];
        const RecordedFrame &b = got.frames[i];
        EXPECT_EQ(std::tie(a.frameIndex, a.frameType, a.pixelFormat, a.imuFrameNo, a.width, a.height,
                           a.depthRange, a.exposureTime, a.timestamp, a.hostTimeNs, a.pixels),
                  std::tie(b.frameIndex, b.frameType, b.pixelFormat, b.imuFrameNo, b.width, b.height,
                           b.depthRange, b.exposureTime, b.timestamp, b.hostTimeNs, b.pixels));
    }
}

/// Writes `sets` through the writer (waiting for each, so that none is dropped) and returns the file.
std::string Record(const std::vector<FrameSet> &sets, int zstdLevel)
{
    orvtest::TempDir dir;
    const std::string path = dir.Path() + "/take.orvrec";
    RecordingWriter writer({4, zstdLevel});
    EXPECT_TRUE(writer.Open(path, kHeaderJson)) << writer.GetError();
    for (size_t i = 0; i < sets.size(); ++i) {
        FrameSet copy = sets[i];
        EXPECT_TRUE(writer.Push(std::move(copy)));
        EXPECT_TRUE(orvtest::WaitUntil([&] { return writer.GetStats().frameSetsWritten == i + 1; }));
    }
    EXPECT_TRUE(writer.Close()) << writer.GetError();
    EXPECT_EQ(writer.GetStats().frameSetsDropped, 0u);
    return orvtest::ReadFile(path);
}

RecordingReader OpenBytes(const std::string &bytes)
{
    RecordingReader reader;
    reader.Open(std::make_unique<std::istringstream>(bytes));
    return reader;
}

/// Reads until the reader stops; the frame sets it returned and how it stopped.
ReadResult ReadAll(RecordingReader &reader, std::vector<FrameSet> &got, std::vector<uint64_t> *ends = nullptr)
{
    for (;;) {
        FrameSet set;
        ReadResult result = reader.Next(set);
        if (result.status != ReadStatus::kFrameSet) {
            return result;
        }
        got.push_back(set);
        if (ends != nullptr) {
            ends->push_back(result.offset + result.storedBytes);
        }
    }
}

/// The CRC one bit at a time, straight from its definition.
uint32_t BitwiseCrc(const uint8_t *p, size_t size)
{
    uint32_t crc = ~0u;
    for (size_t i = 0; i < size; ++i) {
        crc ^= p[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1u) != 0 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
        }
    }
    return ~crc;
}

TEST(Crc32Test, AgreesWithTheDefinitionAtEveryLengthAlignmentAndSplit)
{
    EXPECT_EQ(Crc32::Of("123456789", 9), 0xCBF43926u);
    std::vector<uint8_t> data(1200);
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<uint8_t>((i * 131 + 7) ^ (i >> 3));
    }
    // Short runs take the tables, long ones the folding path, and their tails the tables again.
    for (size_t offset = 0; offset < 17; ++offset) {
        for (size_t size = 0; size + offset <= data.size(); size += size < 160 ? 1 : 37) {
            ASSERT_EQ(Crc32::Of(data.data() + offset, size), BitwiseCrc(data.data() + offset, size))
                << offset << "+" << size;
        }
    }
    for (size_t split : {1u, 63u, 64u, 65u, 500u, 1199u}) {
        Crc32 crc;
        crc.Update(data.data(), split);
        crc.Update(data.data() + split, data.size() - split);
        EXPECT_EQ(crc.GetValue(), BitwiseCrc(data.data(), data.size())) << "split at " << split;
    }
}

class RecordingRoundTrip : public ::testing::TestWithParam<int>
{
};

TEST_P(RecordingRoundTrip, GivesBackEveryFieldAndPixelThenStaysAtTheEnd)
{
    if (GetParam() != 0 && !ZstdCodec::IsAvailable()) {
        GTEST_SKIP() << "built without zstd";
    }
    const std::vector<FrameSet> sets = SampleSets(7, 5000);
    const std::string bytes = Record(sets, GetParam());
    RecordingReader reader = OpenBytes(bytes);
    ASSERT_EQ(reader.GetError(), "");
    EXPECT_EQ(reader.GetHeader(), nlohmann::json::parse(kHeaderJson));
    std::vector<FrameSet> got;
    EXPECT_EQ(ReadAll(reader, got).status, ReadStatus::kEnd);
    ASSERT_EQ(got.size(), sets.size());
    for (size_t i = 0; i < sets.size(); ++i) {
        ExpectSame(sets[i], got[i]);
    }
    FrameSet after;
    EXPECT_EQ(reader.Next(after).status, ReadStatus::kEnd);
    if (GetParam() != 0) {
        EXPECT_LT(bytes.size(), 7u * 5000u) << "the patterned pixels should compress";
    }
}

INSTANTIATE_TEST_SUITE_P(Compression, RecordingRoundTrip, ::testing::Values(0, 3));

TEST(RecordingCutTest, EveryCutReadsBackExactlyTheWholeRecordsBeforeIt)
{
    const uint64_t headerBytes = kFileHeaderFixedBytes + kHeaderJson.size() + 4;
    for (int level : {0, 1}) {
        if (level != 0 && !ZstdCodec::IsAvailable()) {
            continue;
        }
        const std::vector<FrameSet> sets = SampleSets(4, 40);
        const std::string bytes = Record(sets, level);
        RecordingReader full = OpenBytes(bytes);
        std::vector<FrameSet> all;
        std::vector<uint64_t> ends{headerBytes};
        ASSERT_EQ(ReadAll(full, all, &ends).status, ReadStatus::kEnd);
        for (size_t cut = 0; cut < bytes.size(); ++cut) {
            RecordingReader reader = OpenBytes(bytes.substr(0, cut));
            ASSERT_EQ(reader.GetError().empty(), cut >= headerBytes) << cut << ": " << reader.GetError();
            if (cut < headerBytes) {
                EXPECT_TRUE(reader.IsHeaderCut()) << cut << ": " << reader.GetError();
                continue;
            }
            std::vector<FrameSet> got;
            const ReadResult stop = ReadAll(reader, got);
            const auto whole =
                std::count_if(ends.begin() + 1, ends.end(), [&](uint64_t end) { return end <= cut; });
            ASSERT_EQ(got.size(), static_cast<size_t>(whole))
                << "cut at " << cut << " (level " << level << ")";
            for (size_t i = 0; i < got.size(); ++i) {
                ExpectSame(sets[i], got[i]);
            }
            EXPECT_EQ(stop.status, ends[whole] == cut ? ReadStatus::kEnd : ReadStatus::kCut) << cut;
            EXPECT_EQ(stop.offset, ends[whole]) << "a cut is reported where its record starts";
        }
    }
}

TEST(RecordingDamageTest, AFlippedByteAnywhereStopsAtItsRecordAndKeepsThoseBefore)
{
    const std::vector<FrameSet> sets = SampleSets(4, 30);
    const std::string bytes = Record(sets, 0);
    const uint64_t headerBytes = kFileHeaderFixedBytes + kHeaderJson.size() + 4;
    RecordingReader full = OpenBytes(bytes);
    std::vector<FrameSet> all;
    std::vector<uint64_t> ends{headerBytes};
    ASSERT_EQ(ReadAll(full, all, &ends).status, ReadStatus::kEnd);
    for (size_t at = 0; at < bytes.size(); ++at) {
        std::string damaged = bytes;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x10);
        RecordingReader reader = OpenBytes(damaged);
        if (at < headerBytes) {
            EXPECT_NE(reader.GetError(), "") << "header byte " << at;
            continue;
        }
        std::vector<FrameSet> got;
        const ReadResult stop = ReadAll(reader, got);
        const auto before =
            std::count_if(ends.begin() + 1, ends.end(), [&](uint64_t end) { return end <= at; });
        ASSERT_EQ(got.size(), static_cast<size_t>(before)) << "byte " << at;
        // A larger length in the last record's prefix reads as a cut; everything else fails its CRC.
        EXPECT_TRUE(stop.status == ReadStatus::kCorrupt || stop.status == ReadStatus::kCut) << at;
        EXPECT_NE(stop.message, "");
    }
}

/// A file header followed by one record whose CRC is right but whose contents break a rule.
std::string WithRecord(uint32_t lengthField, const std::vector<uint8_t> &afterCrc)
{
    std::string bytes = Record({}, 0);
    std::vector<uint8_t> prefix;
    ByteCursor::AppendLe(prefix, lengthField, 4);
    ByteCursor::AppendLe(prefix, Crc32::Of(afterCrc.data(), afterCrc.size()), 4);
    bytes.append(prefix.begin(), prefix.end());
    return bytes.append(afterCrc.begin(), afterCrc.end());
}

TEST(RecordingDamageTest, RecordsBreakingTheFormatsBoundsAreRefusedWithAReason)
{
    const std::vector<uint8_t> seventeenFrames = {0, 17, 0, 0, 0};
    const std::vector<uint8_t> frameTooLong = [] {
        std::vector<uint8_t> body = {0, 1, 0, 0, 0};
        body.resize(body.size() + kFrameHeaderBytes - 4, 0);
        ByteCursor::AppendLe(body, 1000, 4); // pixels that are not there
        return body;
    }();
    const std::vector<uint8_t> trailing = {0, 0, 0, 0, 0, 9};
    const std::vector<uint8_t> unknownFlag = {0x80, 0, 0, 0, 0};
    const std::vector<uint8_t> zstdGarbage = {kRecordZstd, 4, 0, 0, 0, 1, 2, 3, 4};
    const struct
    {
        std::string bytes;
        ReadStatus status;
    } rows[] = {
        {WithRecord(kMaxRecordBytes + 1, {}), ReadStatus::kCorrupt},
        {WithRecord(0, {}), ReadStatus::kCorrupt},
        {WithRecord(1000, {1, 2, 3}), ReadStatus::kCut},
        {WithRecord(5, seventeenFrames), ReadStatus::kCorrupt},
        {WithRecord(static_cast<uint32_t>(frameTooLong.size()), frameTooLong), ReadStatus::kCorrupt},
        {WithRecord(6, trailing), ReadStatus::kCorrupt},
        {WithRecord(5, unknownFlag), ReadStatus::kCorrupt},
        {WithRecord(9, zstdGarbage), ReadStatus::kCorrupt},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        RecordingReader reader = OpenBytes(rows[i].bytes);
        FrameSet set;
        const ReadResult result = reader.Next(set);
        EXPECT_EQ(result.status, rows[i].status) << "row " << i << ": " << result.message;
        EXPECT_NE(result.message, "") << "row " << i;
    }
    std::string future = Record({}, 0);
    future[8] = 2;
    RecordingReader reader = OpenBytes(future);
    EXPECT_NE(reader.GetError().find("version 2"), std::string::npos) << reader.GetError();
}

TEST(RecordingWriterTest, AFullQueueDropsAndCountsWithoutBlockingThePusher)
{
    // The writer thread blocks on a pipe nobody reads, so the queue fills and stays full.
    orvtest::TempDir dir;
    const std::string fifo = dir.Path() + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int readEnd = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(readEnd, 0);
    RecordingWriter writer({2, 0});
    ASSERT_TRUE(writer.Open(fifo, kHeaderJson)) << writer.GetError();
    const std::vector<FrameSet> sets = SampleSets(1, 1 << 20);
    constexpr uint64_t kPushes = 20;
    for (uint64_t i = 0; i < kPushes; ++i) {
        FrameSet copy = sets[0];
        writer.Push(std::move(copy));
    }
    // At most one set in the writer's hands and two in the queue.
    EXPECT_GE(writer.GetStats().frameSetsDropped, kPushes - 3);
    std::thread drain([readEnd] {
        fcntl(readEnd, F_SETFL, 0);
        char buffer[65536];
        while (read(readEnd, buffer, sizeof buffer) > 0) {
        }
    });
    EXPECT_TRUE(writer.Close()) << writer.GetError();
    drain.join();
    close(readEnd);
    const RecordingWriterStats stats = writer.GetStats();
    EXPECT_EQ(stats.frameSetsWritten + stats.frameSetsDropped, kPushes);
    EXPECT_GE(stats.frameSetsWritten, 1u);
}

TEST(RecordingWriterTest, APathThatCannotBeWrittenFailsAtOpenWithItsReason)
{
    for (const char *path : {"/dev/full", "/nonexistent-dir/take.orvrec"}) {
        RecordingWriter writer;
        EXPECT_FALSE(writer.Open(path, kHeaderJson)) << path;
        EXPECT_NE(writer.GetError().find(path), std::string::npos) << writer.GetError();
        FrameSet set;
        EXPECT_FALSE(writer.Push(std::move(set)));
        EXPECT_FALSE(writer.Close());
    }
}

} // namespace
} // namespace orvane::cli::record
