// SPDX-License-Identifier: Apache-2.0
// SonyRawDecoder: the per-pixel four-phase decode (depth, IR, confidence) over plain buffers, callable
// without threads or queues.
#pragma once

#include <cstddef>
#include <cstdint>

/// Per-frame inputs of the four-phase decode.
struct FourPhaseParams
{
    float phaseToMm;            ///< millimetres per radian of the range
    int32_t temperatureOffset;  ///< added to the lookup index
    const int32_t *lookup;      ///< the range's lookup table (i16 values widened to 32 bits)
    int32_t lookupEntries;      ///< entries in lookup; an index outside [0, lookupEntries) gives depth 0
    int32_t maxDepthMm;         ///< the range's wrap-around distance
    const uint16_t *background; ///< IR background, one value per pixel
};

/// The camera's raw four-phase data: four phase blocks of 483 rows of 2,560 bytes; the first 480 rows
/// hold 640 pixels of two 16-bit taps (A, B) with the 12-bit sample in the upper bits, then three rows of
/// embedded data whose byte 73 of row 481 carries the phase number.
class SonyRawDecoder
{
public:
    static constexpr int kWidth = 640;
    static constexpr int kHeight = 480;
    static constexpr size_t kPixels = size_t(kWidth) * kHeight;
    static constexpr size_t kPhaseCount = 4;
    static constexpr size_t kRowBytes = 2560;
    static constexpr size_t kPhaseBlockBytes = 483 * kRowBytes; // 1,236,480
    static constexpr size_t kRawPayloadBytes = kPhaseCount * kPhaseBlockBytes;
    static constexpr size_t kPhaseNumberOffset = 481 * kRowBytes + 73;
    static constexpr int kMaxIr = 4095;
    static constexpr float kTwoPi = 6.2831855f;
    static constexpr float kPi = 3.1415927f;

    /// Millimetres per radian of phase for ranges 0-5 (c / (4 pi f) at 120, 80, 60, 48, 40, 20 MHz);
    /// 0 for any other range.
    static float PhaseToMmFactor(uint32_t range);

    /// Polynomial arc tangent of y/x in single precision, in (-pi, pi].
    static float atan2_optimize(float y, float x);

    /// Truncated square root of a non-negative integer below 2^30, exact.
    static int32_t IntSqrt(int32_t value);

    /// Decodes `pixels` pixels. phases[k] points at the first byte of phase block k (any alignment; taps
    /// little-endian). Depth keeps its old
    /// value where the lookup value lies above maxDepthMm. The fast path: vectorised, with an AVX2 clone
    /// chosen at run time where the processor has it.
    static void DecodeFourPhase(const uint8_t *const phases[kPhaseCount], const FourPhaseParams &params,
                                uint16_t *depth, uint16_t *ir, uint16_t *confidence, size_t pixels);

    /// The same formulas one pixel at a time; the reference the fast path must match bit for bit.
    static void DecodeFourPhaseScalar(const uint8_t *const phases[kPhaseCount], const FourPhaseParams &params,
                                      uint16_t *depth, uint16_t *ir, uint16_t *confidence, size_t pixels);
};
