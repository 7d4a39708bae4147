// SPDX-License-Identifier: Apache-2.0
// One frame of the library as an image the caller owns: its shape and sample type from the frame's own
// fields, checked against its length, and the one copy of its pixels (colour always in RGB order).
#include "FrameCopy.h"

#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace orvane::python {

namespace {

/// Reverses the three bytes of each of `pixels` pixels.
void SwapRedBlue(const uint8_t *in, uint8_t *out, size_t pixels)
{
    for (size_t i = 0; i < pixels; ++i, in += 3, out += 3) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
    }
}

#if defined(__x86_64__)
/// The same, five pixels per 16-byte shuffle; the 16th byte written is the next pixel's first, which the
/// next step writes again, so the last five pixels (and the rest) are left to the byte loop.
__attribute__((target("ssse3"))) void SwapRedBlueSsse3(const uint8_t *in, uint8_t *out, size_t pixels)
{
    const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
    size_t done = 0;
    for (; done + 6 <= pixels; done += 5) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + 3 * done));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 3 * done), _mm_shuffle_epi8(block, order));
    }
    SwapRedBlue(in + 3 * done, out + 3 * done, pixels - done);
}
#endif

} // namespace

bool FrameCopy::Describe(const TfFrame &frame, std::string &why)
{
    m_frame = frame;
    m_height = frame.height;
    m_width = frame.width;
    m_swapRedBlue = false;
    switch (frame.pixelFormat) {
    case TF_PIXEL_DEPTH_MM16:
    case TF_PIXEL_GRAY16:
        m_channels = 1;
        m_sampleBytes = 2;
        break;
    case TF_PIXEL_GRAY8:
        m_channels = 1;
        m_sampleBytes = 1;
        break;
    case TF_PIXEL_BGR888:
        m_swapRedBlue = true;
        [[fallthrough]];
    case TF_PIXEL_RGB888:
        m_channels = 3;
        m_sampleBytes = 1;
        break;
    default:
        why = "unknown pixel format " + std::to_string(frame.pixelFormat);
        return false;
    }
    if (m_height == 0 || m_width == 0 || frame.pFrameData == nullptr) {
        why = "an empty frame (" + std::to_string(m_width) + " x " + std::to_string(m_height) + ")";
        return false;
    }
    if (frame.dataLen < Bytes()) {
        why = std::to_string(frame.dataLen) + " bytes for a " + std::to_string(m_width) + " x " +
              std::to_string(m_height) + " image of " + std::to_string(Bytes()) + " bytes";
        return false;
    }
    return true;
}

void FrameCopy::CopyTo(void *destination) const
{
    if (!m_swapRedBlue) {
        std::memcpy(destination, m_frame.pFrameData, Bytes());
        return;
    }
    uint8_t *out = static_cast<uint8_t *>(destination);
#if defined(__x86_64__)
    if (__builtin_cpu_supports("ssse3")) {
        SwapRedBlueSsse3(m_frame.pFrameData, out, m_height * m_width);
        return;
    }
#endif
    SwapRedBlue(m_frame.pFrameData, out, m_height * m_width);
}

} // namespace orvane::python
