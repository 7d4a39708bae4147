// SPDX-License-Identifier: Apache-2.0
// Raw recordings: what the recorder writes reads back whole, a file cut at any byte reads back to its
// last whole record, and a damaged record is never taken for a good one.
#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "TestSupport.h"
#include "pipeline/RawRecorder.h"
#include "protocol/StatusCodes.h"
#include "runtime/RawRecordingFormat.h"
#include "runtime/RawRecordingReader.h"

namespace {

using Result = RawRecordingReader::Result;
const std::string kHeader = R"({"serial":"SN0001"})";
/// Buffers of an empty, a one-byte and a longer size.
const std::vector<std::vector<uint8_t>> kBuffers = {{}, {0x2C}, std::vector<uint8_t>(300, 0xB1)};

class RawRecordingTest : public ::testing::Test
{
protected:
    /// Records kBuffers through the recorder and returns the file's bytes.
    std::string RecordAll()
    {
        RawRecorder recorder;
        EXPECT_EQ(recorder.Start({m_path, kHeader}), kStatusOk);
        for (const auto &buffer : kBuffers) {
            recorder.Offer(buffer.data(), static_cast<uint32_t>(buffer.size()));
        }
        recorder.Stop();
        recorder.Offer(kBuffers[1].data(), 1); // after the stop: neither written nor counted
        const TfRawRecordingStatus status = recorder.GetStatus();
        EXPECT_EQ(status.active, 0u);
        EXPECT_EQ(status.writeError, 0);
        EXPECT_EQ(status.buffersWritten, kBuffers.size());
        EXPECT_EQ(status.bytesWritten, 301u);
        EXPECT_EQ(status.buffersDropped, 0u);
        return orvtest::ReadFile(m_path);
    }

    /// Reads `bytes` as a recording: the records read and how it ended.
    static Result ReadAll(const std::string &bytes, std::vector<std::vector<uint8_t>> &records)
    {
        std::istringstream in(bytes);
        RawRecordingReader reader(in);
        std::string header;
        if (!reader.ReadHeader(header)) {
            return Result::kCorrupt;
        }
        EXPECT_EQ(header, kHeader);
        uint64_t arrivalNs = 0;
        uint64_t previousNs = 0;
        std::vector<uint8_t> record;
        Result result;
        while ((result = reader.Next(arrivalNs, record)) == Result::kRecord) {
            EXPECT_GE(arrivalNs, previousNs);
            previousNs = arrivalNs;
            records.push_back(record);
        }
        EXPECT_EQ(reader.Next(arrivalNs, record), result) << "an ended reader stays ended";
        return result;
    }

    orvtest::TempDir m_dir;
    const std::string m_path = m_dir.Path() + "/field.raw";
};

TEST_F(RawRecordingTest, AFileCutAtAnyByteReadsBackToItsLastWholeRecord)
{
    const std::string bytes = RecordAll();
    const size_t firstRecord = RawRecordingFormat::kPreambleBytes + kHeader.size();
    std::vector<size_t> recordEnds;
    size_t end = firstRecord;
    for (const auto &buffer : kBuffers) {
        end += RawRecordingFormat::kRecordHeaderBytes + buffer.size();
        recordEnds.push_back(end);
    }
    ASSERT_EQ(end, bytes.size());
    for (size_t cut = 0; cut <= bytes.size(); ++cut) {
        std::vector<std::vector<uint8_t>> records;
        const Result result = ReadAll(bytes.substr(0, cut), records);
        if (cut < firstRecord) {
            EXPECT_EQ(result, Result::kCorrupt) << "a header cut at " << cut << " is refused";
            continue;
        }
        size_t whole = 0;
        while (whole < recordEnds.size() && recordEnds[whole] <= cut) {
            ++whole;
        }
        const bool atBoundary = cut == firstRecord || (whole > 0 && recordEnds[whole - 1] == cut);
        EXPECT_EQ(result, atBoundary ? Result::kEnd : Result::kTruncated) << "cut at " << cut;
        ASSERT_EQ(records.size(), whole) << "cut at " << cut;
        EXPECT_TRUE(std::equal(records.begin(), records.end(), kBuffers.begin()));
    }
}

TEST_F(RawRecordingTest, AnyDamagedRecordByteEndsTheReadingBeforeTheDamagedRecord)
{
    const std::string bytes = RecordAll();
    const size_t firstRecord = RawRecordingFormat::kPreambleBytes + kHeader.size();
    for (size_t at = firstRecord; at < bytes.size(); ++at) {
        std::string damaged = bytes;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x10);
        std::vector<std::vector<uint8_t>> records;
        EXPECT_NE(ReadAll(damaged, records), Result::kEnd) << "byte " << at;
        EXPECT_LT(records.size(), kBuffers.size()) << "byte " << at;
        EXPECT_TRUE(std::equal(records.begin(), records.end(), kBuffers.begin())) << "byte " << at;
    }
    std::string foreign = bytes;
    foreign[0] = 'X';
    std::vector<std::vector<uint8_t>> records;
    EXPECT_EQ(ReadAll(foreign, records), Result::kCorrupt) << "another file's magic";
}

TEST_F(RawRecordingTest, AFileThatCannotBeWrittenShowsItsErrorInTheStatus)
{
    RawRecorder recorder;
    EXPECT_EQ(recorder.Start({m_dir.Path() + "/missing/field.raw", kHeader}), kStatusNotSupported);
    EXPECT_EQ(recorder.GetStatus().writeError, ENOENT);
    EXPECT_EQ(recorder.GetStatus().active, 0u);
    if (access("/dev/full", W_OK) != 0) {
        GTEST_SKIP() << "no /dev/full to fill";
    }
    ASSERT_EQ(recorder.Start({"/dev/full", kHeader}), kStatusOk);
    EXPECT_EQ(recorder.GetStatus().writeError, 0) << "a new recording clears the last error";
    const std::vector<uint8_t> buffer(1 << 20, 0x5A);
    recorder.Offer(buffer.data(), static_cast<uint32_t>(buffer.size()));
    recorder.Stop();
    EXPECT_EQ(recorder.GetStatus().writeError, ENOSPC);
    EXPECT_EQ(recorder.GetStatus().buffersWritten, 0u);
}

} // namespace
