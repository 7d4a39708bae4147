// SPDX-License-Identifier: Apache-2.0
// SonyRawDecoder: the four-phase per-pixel decode, written so the compiler vectorises the pixel loop.
// The confidence square root runs in a second pass per row with the vector square-root instruction: the
// library's sqrtf may set errno, which keeps compilers from vectorising a loop that calls it.

#include "pipeline/SonyRawDecoder.h"

#include <cmath>
#include <cstring>
#if defined(__x86_64__) || defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {
constexpr float kPhaseToMm[6] = {198.80605f, 298.20908f, 397.61209f, 497.01511f, 596.41815f, 1192.8363f};

inline float FlipSign(float value, uint32_t mask)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    bits ^= mask;
    std::memcpy(&value, &bits, sizeof bits);
    return value;
}

inline float MaskFloat(float value, uint32_t mask)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    bits &= mask;
    std::memcpy(&value, &bits, sizeof bits);
    return value;
}

// Taps are read byte-wise: a raw frame keeps its 5-byte sub-packet header in front of the payload, so
// the taps sit at odd addresses. Little-endian, as the camera sends them.
inline uint32_t LoadTap(const uint8_t *block, size_t tapIndex)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    // One unaligned 16-bit load: the same value as the two byte loads, and cheaper to vectorise.
    uint16_t tap;
    std::memcpy(&tap, block + 2 * tapIndex, sizeof tap);
    return tap;
#else
    return uint32_t(block[2 * tapIndex]) | (uint32_t(block[2 * tapIndex + 1]) << 8);
#endif
}

inline uint32_t FloatBits(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// Kept as separate statements so that no compiler contracts them into a fused multiply-add: the fast
// path and the scalar reference must round identically. The branches are taken on sign bits, never on
// float comparisons, so every float operation stays unconditional and the pixel loop vectorises.
inline float SelectFloat(uint32_t mask, float ifSet, float ifClear)
{
    const uint32_t bits = (FloatBits(ifSet) & mask) | (FloatBits(ifClear) & ~mask);
    float result;
    std::memcpy(&result, &bits, sizeof result);
    return result;
}

inline float Atan2Poly(float y, float x)
{
    const uint32_t yBits = FloatBits(y);
    const uint32_t xBits = FloatBits(x);
    const uint32_t yZero = static_cast<uint32_t>((yBits & 0x7FFFFFFFu) == 0);
    const uint32_t yNeg = (yBits >> 31) & (yZero ^ 1u);
    const uint32_t xNeg = (xBits >> 31) & static_cast<uint32_t>((xBits & 0x7FFFFFFFu) != 0);
    const uint32_t xNegMask = 0u - xNeg;
    const float a = MaskFloat(y, 0x7FFFFFFFu) + 1e-10f;
    // x + a equals a + x exactly, so choosing the operands' signs gives both quotients of the formula.
    const uint32_t flipA = (xNeg ^ 1u) << 31;
    const float signedA = FlipSign(a, flipA);
    const float signedX = FlipSign(x, flipA ^ 0x80000000u);
    const float num = x + signedA;
    const float den = a + signedX;
    const float r = num / den;
    const float base = SelectFloat(xNegMask, 2.3561945f, 0.7853982f);
    const float r2 = r * r;
    const float poly = 0.1963f * r2;
    const float polyShift = poly - 0.9817f;
    const float scaled = polyShift * r;
    float angle = scaled + base;
    angle = FlipSign(angle, yNeg << 31);
    const float onAxis = SelectFloat(xNegMask, SonyRawDecoder::kPi, 0.0f);
    return SelectFloat(0u - yZero, onAxis, angle);
}

inline bool IsNegative(float value)
{
    const uint32_t bits = FloatBits(value);
    return ((bits >> 31) & static_cast<uint32_t>((bits & 0x7FFFFFFFu) != 0)) != 0;
}

inline int32_t IntSqrtInline(int32_t value)
{
    int32_t root = static_cast<int32_t>(__builtin_sqrtf(static_cast<float>(value)));
    // The float conversion rounds values above 2^24; one step each way restores the exact floor.
    root = root * root > value ? root - 1 : root;
    root = (root + 1) * (root + 1) <= value ? root + 1 : root;
    return root;
}

// One pixel; `oldDepth` is kept where the lookup value lies above the range's maximum.
inline void DecodePixel(uint32_t a0, uint32_t b0, uint32_t a1, uint32_t b1, uint32_t a2, uint32_t b2,
                        uint32_t a3, uint32_t b3, int32_t backgroundValue, float phaseToMm,
                        int32_t temperatureOffset, const int32_t *lookup, int32_t lookupEntries,
                        int32_t maxDepthMm, uint16_t &depthOut, uint16_t &irOut, int32_t &magnitudeSquaredOut)
{
    const int32_t oldDepth = depthOut;
    int32_t sum = static_cast<int32_t>((a0 + b0 + a2 + b2) >> 4);
    sum = sum > SonyRawDecoder::kMaxIr ? SonyRawDecoder::kMaxIr : sum;
    int32_t irValue = sum - backgroundValue;
    irValue = irValue < 0 ? 0 : irValue;

    const int32_t i = (static_cast<int32_t>(a0 >> 4) - static_cast<int32_t>(b0 >> 4)) -
                      (static_cast<int32_t>(a2 >> 4) - static_cast<int32_t>(b2 >> 4));
    const int32_t q = (static_cast<int32_t>(a1 >> 4) - static_cast<int32_t>(b1 >> 4)) -
                      (static_cast<int32_t>(a3 >> 4) - static_cast<int32_t>(b3 >> 4));

    float phase = Atan2Poly(static_cast<float>(i), static_cast<float>(q));
    // Adding 0 leaves a non-negative phase unchanged; the offset is masked in so the add is unconditional.
    phase = phase + MaskFloat(SonyRawDecoder::kTwoPi, 0u - static_cast<uint32_t>(IsNegative(phase)));
    const float distance = phase * phaseToMm;
    const int32_t index = (static_cast<int32_t>(distance) & 0xFFFF) + temperatureOffset;
    const bool inTable = static_cast<uint32_t>(index) < static_cast<uint32_t>(lookupEntries);
    const int32_t d = lookup[index & -static_cast<int32_t>(inTable)];
    const int32_t wrapped = maxDepthMm + d;
    const int32_t kept = d <= maxDepthMm ? d : oldDepth;
    int32_t depthValue = d < 0 ? wrapped : kept;
    // A table entry more negative than the range's maximum would wrap below zero: invalid.
    depthValue = depthValue < 0 ? 0 : depthValue;
    depthValue = inTable ? depthValue : 0;

    depthOut = static_cast<uint16_t>(depthValue);
    irOut = static_cast<uint16_t>(irValue);
    magnitudeSquaredOut = i * i + q * q;
}
} // namespace

float SonyRawDecoder::PhaseToMmFactor(uint32_t range)
{
    return range < 6 ? kPhaseToMm[range] : 0.0f;
}

float SonyRawDecoder::atan2_optimize(float y, float x)
{
    return Atan2Poly(y, x);
}

int32_t SonyRawDecoder::IntSqrt(int32_t value)
{
    return IntSqrtInline(value);
}

// Sanitizer runtimes cannot run the resolver that picks a clone at load time.
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define ORVANE_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ORVANE_SANITIZED 1
#endif

#if defined(__x86_64__) && defined(__GNUC__) && !defined(ORVANE_SANITIZED)
#define ORVANE_TARGET_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define ORVANE_TARGET_CLONES
#endif

namespace {
constexpr size_t kChunkPixels = 640;

ORVANE_TARGET_CLONES
void DecodeFourPhaseFast(const uint8_t *__restrict p0, const uint8_t *__restrict p1,
                         const uint8_t *__restrict p2, const uint8_t *__restrict p3,
                         const uint16_t *__restrict background, const int32_t *__restrict lookup,
                         int32_t lookupEntries, float phaseToMm, int32_t temperatureOffset,
                         int32_t maxDepthMm, uint16_t *__restrict depth, uint16_t *__restrict ir,
                         uint16_t *__restrict confidence, size_t pixels)
{
    alignas(32) int32_t magnitudeSquared[kChunkPixels];
    alignas(32) float root[kChunkPixels];
    for (size_t start = 0; start < pixels; start += kChunkPixels) {
        const size_t count = pixels - start < kChunkPixels ? pixels - start : kChunkPixels;
        for (size_t n = 0; n < count; ++n) {
            const size_t p = start + n;
            DecodePixel(LoadTap(p0, 2 * p), LoadTap(p0, 2 * p + 1), LoadTap(p1, 2 * p),
                        LoadTap(p1, 2 * p + 1), LoadTap(p2, 2 * p), LoadTap(p2, 2 * p + 1),
                        LoadTap(p3, 2 * p), LoadTap(p3, 2 * p + 1), background[p], phaseToMm,
                        temperatureOffset, lookup, lookupEntries, maxDepthMm, depth[p], ir[p],
                        magnitudeSquared[n]);
        }
#if defined(__SSE2__)
        size_t s = 0;
        for (; s + 4 <= count; s += 4) {
            const __m128 v =
                _mm_cvtepi32_ps(_mm_load_si128(reinterpret_cast<const __m128i *>(magnitudeSquared + s)));
            _mm_store_ps(root + s, _mm_sqrt_ps(v));
        }
        for (; s < count; ++s) {
            root[s] = std::sqrt(static_cast<float>(magnitudeSquared[s]));
        }
#else
        for (size_t n = 0; n < count; ++n) {
            root[n] = std::sqrt(static_cast<float>(magnitudeSquared[n]));
        }
#endif
        for (size_t n = 0; n < count; ++n) {
            const int32_t value = magnitudeSquared[n];
            int32_t r = static_cast<int32_t>(root[n]);
            r = r * r > value ? r - 1 : r;
            r = (r + 1) * (r + 1) <= value ? r + 1 : r;
            confidence[start + n] = static_cast<uint16_t>(r);
        }
    }
}
} // namespace

void SonyRawDecoder::DecodeFourPhase(const uint8_t *const phases[kPhaseCount], const FourPhaseParams &params,
                                     uint16_t *depth, uint16_t *ir, uint16_t *confidence, size_t pixels)
{
    DecodeFourPhaseFast(phases[0], phases[1], phases[2], phases[3], params.background, params.lookup,
                        params.lookupEntries, params.phaseToMm, params.temperatureOffset, params.maxDepthMm,
                        depth, ir, confidence, pixels);
}

#if defined(__GNUC__) && !defined(__clang__)
__attribute__((optimize("no-tree-vectorize")))
#endif
void SonyRawDecoder::DecodeFourPhaseScalar(const uint8_t *const phases[kPhaseCount],
                                           const FourPhaseParams &params, uint16_t *depth, uint16_t *ir,
                                           uint16_t *confidence, size_t pixels)
{
    // Kept one pixel at a time so the benchmark compares against a true scalar build.
#if defined(__clang__)
#pragma clang loop vectorize(disable)
#endif
    for (size_t n = 0; n < pixels; ++n) {
        int32_t magnitudeSquared = 0;
        DecodePixel(LoadTap(phases[0], 2 * n), LoadTap(phases[0], 2 * n + 1), LoadTap(phases[1], 2 * n),
                    LoadTap(phases[1], 2 * n + 1), LoadTap(phases[2], 2 * n), LoadTap(phases[2], 2 * n + 1),
                    LoadTap(phases[3], 2 * n), LoadTap(phases[3], 2 * n + 1), params.background[n],
                    params.phaseToMm, params.temperatureOffset, params.lookup, params.lookupEntries,
                    params.maxDepthMm, depth[n], ir[n], magnitudeSquared);
        confidence[n] = static_cast<uint16_t>(IntSqrtInline(magnitudeSquared));
    }
}
