// SPDX-License-Identifier: Apache-2.0
// Pinhole conversions between depth pixels and 3-D points, and the conversion of delivered depth frames.
#include "api/PointCloud.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "runtime/LogCustom.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {
/// A 360-row frame is the 16:9 centre of the 480-row sensor image: its row 0 is sensor row 60.
constexpr int kCroppedHeight = 360;
constexpr int kCroppedRowOffset = (kDepthTableHeight - kCroppedHeight) / 2;
constexpr uint16_t kInvalidDepthMm = 65535;
/// Depth read in place from a frame's byte buffer.
typedef uint16_t __attribute__((may_alias)) AliasedDepth;

int32_t TruncateToInt32(double value)
{
    if (std::isnan(value)) {
        return 0;
    }
    if (value <= static_cast<double>(std::numeric_limits<int32_t>::min())) {
        return std::numeric_limits<int32_t>::min();
    }
    if (value >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
        return std::numeric_limits<int32_t>::max();
    }
    return static_cast<int32_t>(value); // truncates toward zero
}

uint16_t TruncateToUint16(double value)
{
    if (std::isnan(value) || value <= 0.0) {
        return 0;
    }
    if (value >= 65535.0) {
        return 65535;
    }
    return static_cast<uint16_t>(value);
}
/// One row of a plain depth frame. Branch-free: invalid depth (0 or 65535) becomes 0, and adding +0
/// turns the -0 of a negative ray factor times 0 into +0 while leaving every other value as it is.
void ConvertRowScalar(const AliasedDepth *depth, uint32_t width, const double *columnX, double y, float *out)
{
    for (uint32_t u = 0; u < width; ++u) {
        const uint32_t d = depth[u];
        const uint32_t keep =
            0u - static_cast<uint32_t>(static_cast<uint16_t>(d - 1u) < kInvalidDepthMm - 1u);
        const double z = static_cast<int32_t>(d & keep);
        out[3 * u] = static_cast<float>(columnX[u] * z) + 0.0f;
        out[3 * u + 1] = static_cast<float>(y * z) + 0.0f;
        out[3 * u + 2] = static_cast<float>(z);
    }
}

#if defined(__x86_64__)
/// Four points as the scalar row computes them (double products, rounded to float, +0 added), written
/// as three 16-byte stores.
template <typename Store> inline void StoreFour(__m128 xs, __m128 ys, __m128 zs, float *at, Store store)
{
    // x0 y0 z0 x1 | y1 z1 x2 y2 | z2 x3 y3 z3
    const __m128 xy01 = _mm_unpacklo_ps(xs, ys);
    const __m128 xy23 = _mm_unpackhi_ps(xs, ys);
    const __m128 z0x1 = _mm_shuffle_ps(zs, xs, _MM_SHUFFLE(1, 1, 0, 0));
    const __m128 y1z1 = _mm_shuffle_ps(ys, zs, _MM_SHUFFLE(1, 1, 1, 1));
    const __m128 z2x3 = _mm_shuffle_ps(zs, xs, _MM_SHUFFLE(3, 3, 2, 2));
    const __m128 y3z3 = _mm_shuffle_ps(ys, zs, _MM_SHUFFLE(3, 3, 3, 3));
    store(at, _mm_shuffle_ps(xy01, z0x1, _MM_SHUFFLE(2, 0, 1, 0)));
    store(at + 4, _mm_shuffle_ps(y1z1, xy23, _MM_SHUFFLE(1, 0, 2, 0)));
    store(at + 8, _mm_shuffle_ps(z2x3, y3z3, _MM_SHUFFLE(2, 0, 2, 0)));
}

/// Depth 1..65534 kept, 0 and 65535 turned to 0, as four int32.
inline __m128i KeptDepth(__m128i d)
{
    const __m128i keep = _mm_and_si128(_mm_cmpgt_epi32(d, _mm_setzero_si128()),
                                       _mm_cmplt_epi32(d, _mm_set1_epi32(kInvalidDepthMm)));
    return _mm_and_si128(d, keep);
}

/// The same row with AVX2, four doubles per instruction; each value comes from the same operations as
/// ConvertRowScalar, so the points are bit for bit the same. Points are 12 bytes: up to three of them
/// reach a 16-byte boundary, from where the stores are aligned.
__attribute__((target("avx2"))) void ConvertRowAvx2(const AliasedDepth *depth, uint32_t width,
                                                    const double *columnX, double y, float *out)
{
    uint32_t u = 0;
    while (u < width && (reinterpret_cast<uintptr_t>(out + 3 * u) & 15u) != 0) {
        ConvertRowScalar(depth + u, 1, columnX + u, y, out + 3 * u);
        ++u;
    }
    const __m256d rowY = _mm256_set1_pd(y);
    const __m128 plusZero = _mm_setzero_ps();
    for (; u + 4 <= width; u += 4) {
        uint64_t four = 0;
        std::memcpy(&four, depth + u, sizeof(four));
        const __m128i d = _mm_cvtepu16_epi32(_mm_cvtsi64_si128(static_cast<long long>(four)));
        const __m256d z = _mm256_cvtepi32_pd(KeptDepth(d));
        const __m128 xs =
            _mm_add_ps(_mm256_cvtpd_ps(_mm256_mul_pd(_mm256_loadu_pd(columnX + u), z)), plusZero);
        const __m128 ys = _mm_add_ps(_mm256_cvtpd_ps(_mm256_mul_pd(rowY, z)), plusZero);
        StoreFour(xs, ys, _mm256_cvtpd_ps(z), out + 3 * u, [](float *at, __m128 v) { _mm_store_ps(at, v); });
    }
    ConvertRowScalar(depth + u, width - u, columnX + u, y, out + 3 * u);
}

void ConvertRow(const AliasedDepth *depth, uint32_t width, const double *columnX, double y, float *out)
{
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2) {
        ConvertRowAvx2(depth, width, columnX, y, out);
    } else {
        ConvertRowScalar(depth, width, columnX, y, out);
    }
}
#else
void ConvertRow(const AliasedDepth *depth, uint32_t width, const double *columnX, double y, float *out)
{
    ConvertRowScalar(depth, width, columnX, y, out);
}
#endif
/// A frame taken through the lens: every pixel's own ray from the table's full planes, from
/// `tableStart` on (index null) or at the source pixel index gives.
int ConvertThroughLens(const TfFrame &frame, const DepthWorldTable &table, size_t tableStart,
                       const int32_t *index, TfVector3f *world)
{
    const size_t pixels = size_t{frame.width} * frame.height;
    const double *rayX = table.rayX.data() + tableStart;
    const double *rayY = table.rayY.data() + tableStart;
    for (size_t i = 0; i < pixels; ++i) {
        uint16_t d = 0;
        std::memcpy(&d, frame.pFrameData + i * sizeof(uint16_t), sizeof(d));
        const size_t ray = index != nullptr ? static_cast<size_t>(index[i]) : i;
        const double z = d;
        world[i] = d != 0 && d != kInvalidDepthMm
                       ? TfVector3f{static_cast<float>(rayX[ray] * z), static_cast<float>(rayY[ray] * z),
                                    static_cast<float>(z)}
                       : TfVector3f{0.0f, 0.0f, 0.0f};
    }
    return 0;
}
} // namespace

void ConvertDepthToPoints(const TfDepthVector3 *depth, TfVector3f *world, int32_t count,
                          const TfCameraParameters &params)
{
    for (int32_t i = 0; i < count; ++i) {
        const double z = depth[i].depthZ;
        if (z == 0.0) {
            world[i] = TfVector3f{0.0f, 0.0f, 0.0f};
            continue;
        }
        const double x = (depth[i].depthX - params.cx) / params.fx * z;
        const double y = (depth[i].depthY - params.cy) / params.fy * z;
        world[i] = TfVector3f{static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)};
    }
}

void ConvertPointsToDepth(const TfVector3f *world, TfDepthVector3 *depth, int32_t count,
                          const TfCameraParameters &params)
{
    for (int32_t i = 0; i < count; ++i) {
        const float z = world[i].z;
        if (z == 0.0f || std::isnan(z)) {
            depth[i] = TfDepthVector3{0, 0, 0};
            continue;
        }
        const float xOverZ = world[i].x / z;
        const float yOverZ = world[i].y / z;
        const double u = static_cast<double>(xOverZ) * params.fx + params.cx;
        const double v = static_cast<double>(yOverZ) * params.fy + params.cy;
        depth[i] = TfDepthVector3{TruncateToInt32(u), TruncateToInt32(v), TruncateToUint16(z)};
    }
}

void SourceIndices(uint32_t width, uint32_t height, const DeliveredLayout &layout, uint32_t &sourceWidth,
                   uint32_t &sourceHeight, std::vector<int32_t> &indices)
{
    const int rotation = layout.rotation >= 0 && layout.rotation <= 2 ? layout.rotation : -1;
    const bool quarter = rotation == 0 || rotation == 2;
    sourceWidth = quarter ? height : width;
    sourceHeight = quarter ? width : height;
    const bool flipX = layout.mirror == 1 || layout.mirror == 3;
    const bool flipY = layout.mirror == 2 || layout.mirror == 3;
    indices.resize(size_t{width} * height);
    for (uint32_t r = 0; r < height; ++r) {
        for (uint32_t c = 0; c < width; ++c) {
            // Undo the mirror (it came last), then the turn.
            const uint32_t x = flipX ? width - 1 - c : c;
            const uint32_t y = flipY ? height - 1 - r : r;
            uint32_t u = x;
            uint32_t v = y;
            if (rotation == 0) { // clockwise: column x came from source row H-1-x of column y
                u = y;
                v = sourceHeight - 1 - x;
            } else if (rotation == 1) {
                u = sourceWidth - 1 - x;
                v = sourceHeight - 1 - y;
            } else if (rotation == 2) {
                u = sourceWidth - 1 - y;
                v = x;
            }
            indices[size_t{r} * width + c] = static_cast<int32_t>(size_t{v} * sourceWidth + u);
        }
    }
}

int ConvertDepthFrame(const TfFrame &frame, const DepthWorldTable &table, const DeliveredLayout &layout,
                      TfVector3f *world)
{
    const uint32_t width = frame.width;
    const uint32_t height = frame.height;
    const size_t pixels = size_t{width} * height;
    if (static_cast<size_t>(frame.dataLen) < pixels * sizeof(uint16_t)) {
        TFLOG("frame %dx%d carries only %u bytes.", static_cast<int>(width), static_cast<int>(height),
              static_cast<unsigned>(frame.dataLen));
        return TF_ERROR_INVALID_ARGUMENT;
    }
    // Kept per thread: a frame's conversion allocates nothing once a thread has converted one.
    thread_local std::vector<int32_t> indices;
    uint32_t sourceWidth = width;
    uint32_t sourceHeight = height;
    const bool plain = layout.IsPlain();
    if (!plain) {
        SourceIndices(width, height, layout, sourceWidth, sourceHeight, indices);
    }
    if (sourceWidth != kDepthTableWidth ||
        (sourceHeight != kDepthTableHeight && sourceHeight != kCroppedHeight) ||
        table.columnX.size() != kDepthTableWidth || table.rowY.size() != kDepthTableHeight) {
        TFLOG("frame %dx%d does not fit the %dx%d depth table.", static_cast<int>(width),
              static_cast<int>(height), kDepthTableWidth, kDepthTableHeight);
        return TF_ERROR_INVALID_ARGUMENT;
    }
    const size_t firstRow = sourceHeight == kCroppedHeight ? kCroppedRowOffset : 0;
    const size_t entries = size_t{kDepthTableWidth} * kDepthTableHeight;
    if (table.rayX.size() == entries && table.rayY.size() == entries) {
        return ConvertThroughLens(frame, table, firstRow * kDepthTableWidth, plain ? nullptr : indices.data(),
                                  world);
    }
    const double *columnX = table.columnX.data();
    const double *rowY = table.rowY.data() + firstRow;
    const auto *depth = reinterpret_cast<const AliasedDepth *>(frame.pFrameData);
    if (plain && reinterpret_cast<uintptr_t>(depth) % alignof(uint16_t) == 0) {
        // The common case as straight vector arithmetic: two products per point.
        for (uint32_t v = 0; v < height; ++v) {
            ConvertRow(depth + size_t{v} * width, width, columnX, rowY[v], &world[size_t{v} * width].x);
        }
        return 0;
    }
    for (size_t i = 0; i < pixels; ++i) {
        uint16_t d = 0;
        std::memcpy(&d, frame.pFrameData + i * sizeof(uint16_t), sizeof(d));
        const size_t source = plain ? i : static_cast<size_t>(indices[i]);
        const double z = d;
        world[i] =
            d != 0 && d != kInvalidDepthMm
                ? TfVector3f{static_cast<float>(columnX[source % kDepthTableWidth] * z),
                             static_cast<float>(rowY[source / kDepthTableWidth] * z), static_cast<float>(z)}
                : TfVector3f{0.0f, 0.0f, 0.0f};
    }
    return 0;
}
