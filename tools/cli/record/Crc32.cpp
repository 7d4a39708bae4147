// SPDX-License-Identifier: Apache-2.0
// Crc32: the table-driven IEEE CRC-32, eight bytes per step.
#include "Crc32.h"

#include <array>

namespace orvane::cli::record {
namespace {

using Table = std::array<std::array<uint32_t, 256>, 8>;

constexpr Table MakeTables()
{
    Table tables{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t crc = i;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1u) != 0 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
        }
        tables[0][i] = crc;
    }
    // Table k advances a byte that still has k zero bytes to pass through.
    for (size_t k = 1; k < 8; ++k) {
        for (uint32_t i = 0; i < 256; ++i) {
            const uint32_t previous = tables[k - 1][i];
            tables[k][i] = (previous >> 8) ^ tables[0][previous & 0xFFu];
        }
    }
    return tables;
}

constexpr Table kTables = MakeTables();

uint32_t LoadLe32(const uint8_t *p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

} // namespace

void Crc32::Update(const void *data, size_t size)
{
    const auto *p = static_cast<const uint8_t *>(data);
    uint32_t crc = m_state;
    while (size >= 8) {
        const uint32_t low = LoadLe32(p) ^ crc;
        const uint32_t high = LoadLe32(p + 4);
        crc = kTables[7][low & 0xFFu] ^ kTables[6][(low >> 8) & 0xFFu] ^ kTables[5][(low >> 16) & 0xFFu] ^
              kTables[4][low >> 24] ^ kTables[3][high & 0xFFu] ^ kTables[2][(high >> 8) & 0xFFu] ^
              kTables[1][(high >> 16) & 0xFFu] ^ kTables[0][high >> 24];
        p += 8;
        size -= 8;
    }
    while (size-- > 0) {
        crc = (crc >> 8) ^ kTables[0][(crc ^ *p++) & 0xFFu];
    }
    m_state = crc;
}

uint32_t Crc32::Of(const void *data, size_t size)
{
    Crc32 crc;
    crc.Update(data, size);
    return crc.GetValue();
}

} // namespace orvane::cli::record
