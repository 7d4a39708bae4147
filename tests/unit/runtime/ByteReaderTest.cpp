// SPDX-License-Identifier: Apache-2.0
// Tests of the bounds-checked reader and the matching writer.
#include <gtest/gtest.h>

#include <cstring>

#include "runtime/ByteReader.h"

TEST(ByteReaderTest, ReadsLittleEndianFieldsWrittenByTheWriter)
{
    ByteWriter w;
    w.WriteU8(0x01);
    w.WriteU16Le(0x0302);
    w.WriteU24Le(0x060504);
    w.WriteU32Le(0x0A090807);
    w.WriteU64Le(0x1211100F0E0D0C0BULL);
    w.WriteText("abc", 5);
    ASSERT_EQ(w.Size(), 1u + 2 + 3 + 4 + 8 + 5);
    EXPECT_EQ(w.Bytes()[1], 0x02) << "least significant byte first";

    ByteReader r(w.Bytes().data(), w.Size());
    EXPECT_EQ(r.ReadU8(), 0x01);
    EXPECT_EQ(r.ReadU16Le(), 0x0302);
    EXPECT_EQ(r.ReadU24Le(), 0x060504u);
    EXPECT_EQ(r.ReadU32Le(), 0x0A090807u);
    EXPECT_EQ(r.ReadU64Le(), 0x1211100F0E0D0C0BULL);
    char text[8];
    ASSERT_TRUE(r.ReadText(text, sizeof(text), 5));
    EXPECT_STREQ(text, "abc");
    EXPECT_EQ(r.Remaining(), 0u);
    EXPECT_TRUE(r.Ok());
}

TEST(ByteReaderTest, ShortInputYieldsZerosAndStaysFailed)
{
    const uint8_t bytes[] = {0xFF, 0xFF, 0xFF};
    ByteReader r(bytes, sizeof(bytes));
    EXPECT_EQ(r.ReadU32Le(), 0u) << "a read past the end consumes nothing";
    EXPECT_FALSE(r.Ok());
    EXPECT_EQ(r.ReadU8(), 0) << "once failed, later reads fail too";
    EXPECT_EQ(r.Remaining(), 3u);
}

TEST(ByteReaderTest, TextFieldsAreCutAndTerminated)
{
    ByteWriter w;
    w.WriteText("0123456789", 4); // cut to the field
    w.WriteText(nullptr, 2);      // padded
    ASSERT_EQ(w.Size(), 6u);
    ByteReader r(w.Bytes().data(), w.Size());
    char small[3];
    ASSERT_TRUE(r.ReadText(small, sizeof(small), 4));
    EXPECT_STREQ(small, "01") << "the field is cut to the output and terminated";
    EXPECT_EQ(r.Position(), 4u) << "the whole field is consumed";
    char rest[8];
    EXPECT_FALSE(r.ReadText(rest, sizeof(rest), 3));
    EXPECT_STREQ(rest, "");
}

TEST(ByteReaderTest, FixedWriterStopsAtItsEndAndDoublesRoundTrip)
{
    uint8_t buffer[12];
    std::memset(buffer, 0x5A, sizeof(buffer));
    ByteWriter w(buffer, 10);
    w.WriteU8(7);
    w.WriteF64Le(-25.5);
    ASSERT_TRUE(w.Ok());
    EXPECT_EQ(w.Size(), 9u);
    w.WriteU16Le(0xFFFF); // one byte too many: nothing is written
    EXPECT_FALSE(w.Ok());
    w.WriteU8(1); // would fit, but the writer stays failed
    EXPECT_EQ(w.Size(), 9u);
    EXPECT_EQ(buffer[9], 0x5A);
    EXPECT_EQ(buffer[10], 0x5A);

    ByteReader r(buffer, 9);
    EXPECT_EQ(r.ReadU8(), 7);
    EXPECT_EQ(r.ReadF64Le(), -25.5);
    EXPECT_EQ(r.ReadLe(9), 0u) << "wider than a 64-bit value";
    EXPECT_FALSE(r.Ok());
}
