// SPDX-License-Identifier: Apache-2.0
// The footprint splat: boxes computed four depth pixels at a time, drawn as fixed squares into the z-buffer,
// and the crack pass that splits z from IR and closes sub-pixel cracks.
#include "DepthSplat.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <type_traits>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace refine {

namespace {

constexpr uint16_t kEmpty = 0xFFFF;
/// Projections farther outside the buffer than this (pixels) are dropped before any integer conversion.
constexpr float kOutsideMarginPx = 64.0f;
/// Largest half footprint of one depth pixel in the buffer, in its pixels.
constexpr float kMaxHalfFootprintPx = 16.0f;
/// A crack's two neighbours agree within this plus 1/32 of their depth.
constexpr int kCrackAgreeMm = 16;
/// Offset that makes float-to-int truncation a ceiling for coordinates below it.
constexpr float kBias = 32768.0f;

int CeilInt(float x)
{
    return static_cast<int>(kBias) - static_cast<int>(kBias - x);
}

/// What one splat pass needs about the projected depth image and its target buffer.
struct SplatInput
{
    /// One depth row.
    const float *u, *v, *z;
    const uint16_t *depth;
    /// Half footprints per depth pixel for z / colour z = 1 (see EnsureFootprints).
    const float *halfX, *halfY;
    uint32_t width, height;
    /// Target pixel = colour pixel * scale + offset (a coarser grid for occlusion tests).
    float scale, offset;
    /// The largest half footprint in target pixels.
    float capX, capY;
    int32_t targetWidth, targetHeight;
};

/// One depth row's footprints: the box [x0, x1) x [y0, y1) in the target, and its z (0: nothing drawn).
struct RowBoxes
{
    int32_t *x0, *y0, *w, *h, *z;
    /// All ones where the box fits the drawing square (see DrawBox), else 0.
    int32_t *fits;
};

/// The boxes of pixels [first, width) of the row: the pixel's half footprint, scaled by its depth over its
/// colour z, around its projection.
void FootprintsScalar(const SplatInput &in, uint32_t first, const RowBoxes &out, int side)
{
    const float maxU = float(in.targetWidth) + kOutsideMarginPx;
    const float maxV = float(in.targetHeight) + kOutsideMarginPx;
    for (uint32_t i = first; i < in.width; ++i) {
        const float z = in.z[i];
        const float u = in.u[i] * in.scale + in.offset;
        const float v = in.v[i] * in.scale + in.offset;
        if (!(z > 0.0f && u > -kOutsideMarginPx && u < maxU && v > -kOutsideMarginPx && v < maxV)) {
            out.x0[i] = out.y0[i] = out.w[i] = out.h[i] = out.z[i] = out.fits[i] = 0;
            continue;
        }
        const float ratio = float(in.depth[i]) / z * in.scale;
        const float halfX = std::min(in.capX, std::max(0.5f, in.halfX[i] * ratio));
        const float halfY = std::min(in.capY, std::max(0.5f, in.halfY[i] * ratio));
        const int32_t x0 = CeilInt(std::max(u - halfX, 0.0f));
        const int32_t y0 = CeilInt(std::max(v - halfY, 0.0f));
        const int32_t w = CeilInt(std::min(u + halfX, float(in.targetWidth))) - x0;
        const int32_t h = CeilInt(std::min(v + halfY, float(in.targetHeight))) - y0;
        out.x0[i] = x0;
        out.y0[i] = y0;
        out.w[i] = w;
        out.h[i] = h;
        // NOLINTNEXTLINE(bugprone-incorrect-roundings): never negative here; lround would not vectorise.
        out.z[i] = (w > 0 && h > 0) ? static_cast<int32_t>(std::min(std::max(z, 1.0f), 65534.0f) + 0.5f) : 0;
        out.fits[i] =
            (w <= side && h <= side && x0 + side <= in.targetWidth && y0 + side <= in.targetHeight) ? -1 : 0;
    }
}

void RowFootprints(const SplatInput &in, const RowBoxes &out, int side)
{
    uint32_t col = 0;
#ifdef __SSE2__
    const __m128 half = _mm_set1_ps(0.5f), one = _mm_set1_ps(1.0f), zero = _mm_setzero_ps();
    const __m128 scale = _mm_set1_ps(in.scale), offset = _mm_set1_ps(in.offset);
    const __m128 capX = _mm_set1_ps(in.capX), capY = _mm_set1_ps(in.capY);
    const __m128 width = _mm_set1_ps(float(in.targetWidth)), height = _mm_set1_ps(float(in.targetHeight));
    const __m128 margin = _mm_set1_ps(-kOutsideMarginPx);
    const __m128 maxU = _mm_set1_ps(float(in.targetWidth) + kOutsideMarginPx);
    const __m128 maxV = _mm_set1_ps(float(in.targetHeight) + kOutsideMarginPx);
    const __m128 bias = _mm_set1_ps(kBias), maxZ = _mm_set1_ps(65534.0f);
    const __m128i biasInt = _mm_set1_epi32(static_cast<int>(kBias));
    const __m128i zeroInt = _mm_setzero_si128(), sidePlusOne = _mm_set1_epi32(side + 1);
    const __m128i lastLeft = _mm_set1_epi32(in.targetWidth - side + 1);
    const __m128i lastTop = _mm_set1_epi32(in.targetHeight - side + 1);
    const auto ceilInt = [&](__m128 x) {
        return _mm_sub_epi32(biasInt, _mm_cvttps_epi32(_mm_sub_ps(bias, x)));
    };
    const auto store = [](int32_t *to, __m128i value) {
        _mm_storeu_si128(reinterpret_cast<__m128i *>(to), value);
    };
    for (; col + 4 <= in.width; col += 4) {
        const size_t k = col;
        const __m128 z = _mm_loadu_ps(in.z + k);
        const __m128 u = _mm_add_ps(_mm_mul_ps(_mm_loadu_ps(in.u + k), scale), offset);
        const __m128 v = _mm_add_ps(_mm_mul_ps(_mm_loadu_ps(in.v + k), scale), offset);
        const __m128 valid =
            _mm_and_ps(_mm_and_ps(_mm_and_ps(_mm_cmpgt_ps(z, zero), _mm_cmpgt_ps(u, margin)),
                                  _mm_and_ps(_mm_cmplt_ps(u, maxU), _mm_cmpgt_ps(v, margin))),
                       _mm_cmplt_ps(v, maxV));
        __m128i depth = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(in.depth + k));
        depth = _mm_unpacklo_epi16(depth, _mm_setzero_si128());
        const __m128 ratio = _mm_mul_ps(_mm_mul_ps(_mm_cvtepi32_ps(depth), _mm_rcp_ps(z)), scale);
        // max returns its second operand for NaN, so a NaN footprint becomes half a pixel.
        const __m128 halfX =
            _mm_min_ps(_mm_max_ps(_mm_mul_ps(_mm_loadu_ps(in.halfX + k), ratio), half), capX);
        const __m128 halfY =
            _mm_min_ps(_mm_max_ps(_mm_mul_ps(_mm_loadu_ps(in.halfY + k), ratio), half), capY);
        // An invalid pixel gets the empty box 0..0; clamping before the ceiling equals clamping after it.
        const __m128 x0 = _mm_and_ps(valid, _mm_max_ps(_mm_sub_ps(u, halfX), zero));
        const __m128 x1 = _mm_and_ps(valid, _mm_min_ps(_mm_add_ps(u, halfX), width));
        const __m128 y0 = _mm_and_ps(valid, _mm_max_ps(_mm_sub_ps(v, halfY), zero));
        const __m128 y1 = _mm_and_ps(valid, _mm_min_ps(_mm_add_ps(v, halfY), height));
        const __m128i left = ceilInt(x0), top = ceilInt(y0);
        const __m128i w = _mm_sub_epi32(ceilInt(x1), left), h = _mm_sub_epi32(ceilInt(y1), top);
        store(out.x0 + col, left);
        store(out.y0 + col, top);
        store(out.w + col, w);
        store(out.h + col, h);
        const __m128i drawn = _mm_and_si128(
            _mm_castps_si128(valid), _mm_and_si128(_mm_cmpgt_epi32(w, zeroInt), _mm_cmpgt_epi32(h, zeroInt)));
        const __m128 zr = _mm_add_ps(_mm_min_ps(_mm_max_ps(z, one), maxZ), half);
        store(out.z + col, _mm_and_si128(drawn, _mm_cvttps_epi32(zr)));
        const __m128i fits =
            _mm_and_si128(_mm_and_si128(_mm_cmplt_epi32(w, sidePlusOne), _mm_cmplt_epi32(h, sidePlusOne)),
                          _mm_and_si128(_mm_cmplt_epi32(left, lastLeft), _mm_cmplt_epi32(top, lastTop)));
        store(out.fits + col, fits);
    }
#endif
    FootprintsScalar(in, col, out, side);
}

/// Draws one box with `value` into a buffer that keeps the smallest value per pixel: z alone, or z in the
/// high half and the IR in the low half, so that the IR travels with the nearer surface. A box of at most
/// kSide x kSide pixels (most footprints of a surface facing the camera) is drawn as a whole kSide x kSide
/// square whose pixels outside the box take the largest value, which never wins, so the loops never change
/// length and never mispredict. Scalar on purpose: neighbouring boxes overlap, and wide overlapping loads
/// and stores would defeat store forwarding.
/// A box larger than the drawing square, pixel by pixel.
// Out of line: rare, and inlined it would take registers from the square's loop.
template <typename T> [[gnu::noinline]] void DrawWideBox(T *corner, uint32_t stride, int w, int h, T value)
{
    for (int r = 0; r < h; ++r) {
        T *row = corner + size_t(r) * stride;
        for (int c = 0; c < w; ++c) {
            row[c] = std::min(row[c], value);
        }
    }
}

template <int kSide, typename T>
inline void DrawBox(T *buffer, uint32_t stride, int x0, int y0, int w, int h, bool fits, T value)
{
    T *corner = buffer + size_t(y0) * stride + size_t(x0);
    if (__builtin_expect(fits, 1)) {
        // All ones outside the box, computed without branches: a pixel's value or all ones is all ones.
        T columnMask[kSide];
        for (int c = 0; c < kSide; ++c) {
            columnMask[c] = static_cast<T>(T{0} - static_cast<T>(c >= w));
        }
        for (int r = 0; r < kSide; ++r) {
            T *row = corner + size_t(r) * stride;
            const T rowValue = static_cast<T>(value | static_cast<T>(T{0} - static_cast<T>(r >= h)));
            for (int c = 0; c < kSide; ++c) {
                row[c] = std::min(row[c], static_cast<T>(rowValue | columnMask[c]));
            }
        }
        return;
    }
    DrawWideBox(corner, stride, w, h, value);
}

/// Draws one depth row's boxes: z alone into 16-bit `buffer` (IrT void), or z and IR (this row's `ir`,
/// shifted left by irShift) as one 32-bit key.
// Kept out of line: inlined into its caller's switch, the four drawing loops lose their registers.
template <int kSide, typename IrT, typename T>
[[gnu::noinline]] void DrawBoxes(const RowBoxes &boxes, uint32_t count, T *buffer, uint32_t stride,
                                 const IrT *ir, uint32_t irShift)
{
    // Local copies: the compiler cannot tell that drawing leaves the box arrays alone.
    const int32_t *__restrict x0 = boxes.x0, *__restrict y0 = boxes.y0, *__restrict w = boxes.w;
    const int32_t *__restrict h = boxes.h, *__restrict zs = boxes.z, *__restrict fits = boxes.fits;
    for (uint32_t col = 0; col < count; ++col) {
        const auto z = static_cast<uint32_t>(zs[col]);
        if (z == 0) {
            continue;
        }
        T value = static_cast<T>(z);
        if constexpr (!std::is_same_v<IrT, void>) {
            value = static_cast<T>(z << 16 | (uint32_t{ir[col]} << irShift));
        }
        DrawBox<kSide>(buffer, stride, x0[col], y0[col], w[col], h[col], fits[col] != 0, value);
    }
}

/// Splits keys of z (high half) and IR (low half) into the two images.
void SplitKeys(const uint32_t *keys, size_t count, uint16_t *z, uint16_t *ir)
{
    size_t k = 0;
#ifdef __SSE2__
    // An arithmetic shift leaves each half as a signed 16-bit value, which the signed pack keeps bit for bit.
    for (; k + 8 <= count; k += 8) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(keys + k));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(keys + k + 4));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(z + k),
                         _mm_packs_epi32(_mm_srai_epi32(a, 16), _mm_srai_epi32(b, 16)));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(ir + k),
                         _mm_packs_epi32(_mm_srai_epi32(_mm_slli_epi32(a, 16), 16),
                                         _mm_srai_epi32(_mm_slli_epi32(b, 16), 16)));
    }
#endif
    for (; k < count; ++k) {
        z[k] = static_cast<uint16_t>(keys[k] >> 16);
        ir[k] = static_cast<uint16_t>(keys[k]);
    }
}

/// Calls f(x) for every empty pixel of a row, skipping eight drawn pixels at a time.
template <typename F> void ForEachEmpty(const uint16_t *row, uint32_t width, F &&f)
{
    uint32_t x = 0;
#ifdef __SSE2__
    const __m128i empty = _mm_set1_epi16(-1);
    for (; x + 8 <= width; x += 8) {
        const int mask = _mm_movemask_epi8(
            _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(row + x)), empty));
        for (int lane = 0; mask != 0 && lane < 8; ++lane) {
            if ((mask >> (2 * lane)) & 1) {
                f(x + uint32_t(lane));
            }
        }
    }
#endif
    for (; x < width; ++x) {
        if (row[x] == kEmpty) {
            f(x);
        }
    }
}

} // namespace

template <typename IrT, typename T>
void DepthSplat::Draw(const Frame &frame, uint32_t row, T *buffer, const IrT *irRow, uint32_t irShift)
{
    const uint32_t width = frame.width;
    const size_t start = size_t{row} * width;
    SplatInput in{};
    in.u = frame.u;
    in.v = frame.v;
    in.z = frame.z;
    in.depth = frame.depth + start;
    in.halfX = frame.halfX + start;
    in.halfY = frame.halfY + start;
    in.width = width;
    in.height = frame.height;
    in.scale = frame.scale;
    in.offset = 0.5f * frame.scale - 0.5f;
    const float nominalX = frame.nominalX * frame.scale;
    const float nominalY = frame.nominalY * frame.scale;
    in.capX = std::min(kMaxHalfFootprintPx, std::max(1.0f, 1.5f * nominalX));
    in.capY = std::min(kMaxHalfFootprintPx, std::max(1.0f, 1.5f * nominalY));
    in.targetWidth = int32_t(frame.targetWidth);
    in.targetHeight = int32_t(frame.targetHeight);
    if (m_boxes.size() < size_t{width} * 6) {
        m_boxes.resize(size_t{width} * 6);
    }
    int32_t *base = m_boxes.data();
    const RowBoxes boxes{
        base, base + width, base + 2 * width, base + 3 * width, base + 4 * width, base + 5 * width};
    // The side of the box a surface facing the camera covers.
    const int side = std::min(4, int(std::max(nominalX, nominalY)) + 1);
    RowFootprints(in, boxes, side);
    switch (side) {
    case 1:
        DrawBoxes<1>(boxes, width, buffer, frame.targetWidth, irRow, irShift);
        break;
    case 2:
        DrawBoxes<2>(boxes, width, buffer, frame.targetWidth, irRow, irShift);
        break;
    case 3:
        DrawBoxes<3>(boxes, width, buffer, frame.targetWidth, irRow, irShift);
        break;
    default:
        DrawBoxes<4>(boxes, width, buffer, frame.targetWidth, irRow, irShift);
        break;
    }
}

void DepthSplat::DrawRow(const Frame &frame, uint32_t row, uint16_t *zBuffer)
{
    Draw<void>(frame, row, zBuffer, nullptr, 0);
}

void DepthSplat::DrawRow(const Frame &frame, uint32_t row, uint32_t *keys, const uint8_t *irRow)
{
    Draw(frame, row, keys, irRow, 4);
}

void DepthSplat::DrawRow(const Frame &frame, uint32_t row, uint32_t *keys, const uint16_t *irRow)
{
    Draw(frame, row, keys, irRow, 0);
}

void DepthSplat::CloseCracks(uint16_t *z, uint16_t *ir, uint32_t width, uint32_t height, const uint32_t *keys)
{
    // Keys are split one row ahead of the decisions, while both are in the cache.
    const auto split = [&](uint32_t y) {
        if (keys != nullptr && y < height) {
            const size_t at = size_t{y} * width;
            SplitKeys(keys + at, width, z + at, ir + at);
        }
    };
    split(0);
    if (m_fills.size() < 2 * size_t{width}) {
        m_fills.resize(2 * size_t{width});
    }
    // A row's results are written only after the next row has been decided, so every decision reads the
    // buffer as the splat left it: a closed crack never supports another.
    Fill *previous = m_fills.data();
    Fill *current = previous + width;
    size_t previousCount = 0;
    const auto apply = [&](uint32_t y, const Fill *fills, size_t count) {
        uint16_t *zRow = z + size_t{y} * width;
        uint16_t *irRow = ir != nullptr ? ir + size_t{y} * width : nullptr;
        for (size_t i = 0; i < count; ++i) {
            zRow[fills[i].x] = fills[i].z;
            if (irRow != nullptr) {
                irRow[fills[i].x] = fills[i].ir;
            }
        }
    };
    const auto agree = [](uint32_t a, uint32_t b) {
        return a != kEmpty && b != kEmpty && (a > b ? a - b : b - a) <= kCrackAgreeMm + (std::min(a, b) >> 5);
    };
    for (uint32_t y = 0; y < height; ++y) {
        split(y + 1);
        const uint16_t *zRow = z + size_t{y} * width;
        const uint16_t *irRow = ir != nullptr ? ir + size_t{y} * width : nullptr;
        const uint16_t *above = y > 0 ? zRow - width : nullptr;
        const uint16_t *below = y + 1 < height ? zRow + width : nullptr;
        size_t count = 0;
        const auto decide = [&](uint32_t x) {
            Fill fill{x, 0, 0};
            ptrdiff_t reach = 0;
            if (x > 0 && x + 1 < width && agree(zRow[x - 1], zRow[x + 1])) {
                reach = 1;
            } else if (above != nullptr && below != nullptr && agree(above[x], below[x])) {
                reach = static_cast<ptrdiff_t>(width);
            }
            if (reach != 0) {
                fill.z = static_cast<uint16_t>((uint32_t{zRow[x - reach]} + zRow[x + reach] + 1) / 2);
                if (irRow != nullptr) {
                    fill.ir = static_cast<uint16_t>((uint32_t{irRow[x - reach]} + irRow[x + reach] + 1) / 2);
                }
            }
            current[count++] = fill;
        };
        ForEachEmpty(zRow, width, decide);
        if (y > 0) {
            apply(y - 1, previous, previousCount);
        }
        std::swap(previous, current);
        previousCount = count;
    }
    if (height > 0) {
        apply(height - 1, previous, previousCount);
    }
}

} // namespace refine
