// SPDX-License-Identifier: Apache-2.0
// Crc32: the table-driven IEEE CRC-32, eight bytes per step.
#include "Crc32.h"

#include <array>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define ORVANE_CRC_CLMUL 1
#endif

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

#ifdef ORVANE_CRC_CLMUL

// Carry-less multiplication folds 64 bytes per step into four 128-bit lanes, then the lanes into one, then
// a Barrett reduction gives the 32-bit remainder (the constants are powers of x modulo the bit-reflected
// polynomial). Several gigabytes a second, where the tables give about one: reading a recording back runs
// at many times real time.
constexpr size_t kClmulMinimum = 64;

#define ORVANE_CLMUL_TARGET __attribute__((target("pclmul,sse4.1")))

ORVANE_CLMUL_TARGET inline __m128i Load(const uint8_t *at)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(at));
}

/// One lane moved 128 (or 512) bits further on by `k`, plus the data that lands there.
ORVANE_CLMUL_TARGET inline __m128i Fold(__m128i lane, __m128i k, __m128i next)
{
    return _mm_xor_si128(
        _mm_xor_si128(_mm_clmulepi64_si128(lane, k, 0x11), _mm_clmulepi64_si128(lane, k, 0x00)), next);
}

ORVANE_CLMUL_TARGET uint32_t FoldClmul(const uint8_t *p, size_t size, uint32_t crc)
{
    const __m128i k1k2 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);
    const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);
    const __m128i k5 = _mm_set_epi64x(0, 0x0163cd6124);
    const __m128i poly = _mm_set_epi64x(0x01f7011641, 0x01db710641);
    __m128i x1 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x2 = Load(p + 16);
    __m128i x3 = Load(p + 32);
    __m128i x4 = Load(p + 48);
    p += 64;
    size -= 64;
    while (size >= 64) {
        x1 = Fold(x1, k1k2, Load(p));
        x2 = Fold(x2, k1k2, Load(p + 16));
        x3 = Fold(x3, k1k2, Load(p + 32));
        x4 = Fold(x4, k1k2, Load(p + 48));
        p += 64;
        size -= 64;
    }
    x1 = Fold(x1, k3k4, x2);
    x1 = Fold(x1, k3k4, x3);
    x1 = Fold(x1, k3k4, x4);
    while (size >= 16) {
        x1 = Fold(x1, k3k4, Load(p));
        p += 16;
        size -= 16;
    }
    // 128 bits to 64, then the Barrett reduction to 32.
    const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k3k4, 0x10));
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), k5, 0x00), _mm_srli_si128(x1, 4));
    __m128i x2r = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), poly, 0x10);
    x2r = _mm_clmulepi64_si128(_mm_and_si128(x2r, low32), poly, 0x00);
    return static_cast<uint32_t>(_mm_extract_epi32(_mm_xor_si128(x1, x2r), 1));
}

bool HasClmul()
{
    static const bool has = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return has;
}

#endif

} // namespace

void Crc32::Update(const void *data, size_t size)
{
    const auto *p = static_cast<const uint8_t *>(data);
    uint32_t crc = m_state;
#ifdef ORVANE_CRC_CLMUL
    if (size >= kClmulMinimum && HasClmul()) {
        const size_t folded = size & ~size_t{15};
        crc = FoldClmul(p, folded, crc);
        p += folded;
        size -= folded;
    }
#endif
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
