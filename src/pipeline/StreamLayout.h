// SPDX-License-Identifier: Apache-2.0
// The layout of a stream buffer's sub-packets: type ids, header sizes and fixed payload sizes, shared by
// the stream hub that splits a buffer and the ToF decoder that reads the blocks the hub passes on.
#pragma once

#include <cstdint>

/// A stream buffer is a run of sub-packets. Each starts with a header: the type id (u8), then the payload
/// length (u24, little-endian) and one spare byte, except the device status record, whose header is the
/// type id and a u16 length. ToF blocks are handed to the decoder with their header.
namespace StreamLayout {

constexpr uint32_t kHeaderBytes = 5;
constexpr uint32_t kStatusHeaderBytes = 3;

constexpr uint8_t kTypeTimestamp = 0x1F;
constexpr uint8_t kTypeImu = 0x24;
constexpr uint8_t kTypeUnused = 0x26;
constexpr uint8_t kTypeDeviceStatus = 0x2C;
constexpr uint8_t kTypeInitParams = 0x2E;
constexpr uint8_t kTypeJsonResult = 0x2F;
constexpr uint8_t kTypeDeviceError = 0x30;
constexpr uint8_t kTypeColorYuv = 0x35;
constexpr uint8_t kTypeTofRaw = 0xB1;        ///< four-phase raw data
constexpr uint8_t kTypeTofDepth = 0xB3;      ///< depth computed by the camera
constexpr uint8_t kTypeTofIr = 0xB4;         ///< IR behind a 0xB3 block
constexpr uint8_t kTypeTofConfidence = 0xB5; ///< confidence behind a 0xB3 block
constexpr uint8_t kTypeTofComputed = 0xB6;   ///< depth, 8-bit IR and confidence in one block
constexpr uint8_t kTypeTofWdr = 0xB9;        ///< four-phase raw data of a dual-frequency sub-frame

constexpr uint32_t kTofRawBytes = 4945920;      ///< 0xB1, 0xB9
constexpr uint32_t kTofComputedBytes = 1536000; ///< 0xB6
constexpr uint32_t kTofImageBytes = 614400;     ///< 0xB3, 0xB4, 0xB5
constexpr uint32_t kColorYuvBytes = 460800;     ///< 0x35
constexpr uint32_t kUnusedBlockUnit = 2048;     ///< 0x26 comes in whole units...
constexpr uint32_t kUnusedBlockMax = 8192;      ///< ...up to this many bytes

/// Compressed colour frames: any length that fits the buffer.
constexpr bool IsCompressedColor(uint8_t typeId)
{
    return typeId == 0x25 || (typeId >= 0x31 && typeId <= 0x34) || typeId == 0x36 || typeId == 0x37;
}

/// ToF blocks whose spare header byte carries the block's depth range.
constexpr bool CarriesRange(uint8_t typeId)
{
    return typeId == kTypeTofRaw || typeId == kTypeTofComputed || typeId == kTypeTofWdr;
}

/// The depth range in the spare header byte of a block that carries one: its low four bits.
constexpr uint32_t RangeOfSpareByte(uint8_t spare)
{
    return spare & 0x0Fu;
}

} // namespace StreamLayout
