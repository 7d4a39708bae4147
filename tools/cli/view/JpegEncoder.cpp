// SPDX-License-Identifier: Apache-2.0
// Compresses a colour frame into the JPEG the viewer sends: halved in each dimension while wider than
// 960 pixels, quality 80.
#include "JpegEncoder.h"

#include <turbojpeg.h>

#include <cstring>

namespace orvane::cli {

JpegEncoder::JpegEncoder() : m_handle(tjInitCompress())
{
}

JpegEncoder::~JpegEncoder()
{
    if (m_handle != nullptr) {
        tjDestroy(static_cast<tjhandle>(m_handle));
    }
}

void JpegEncoder::Halve(const uint8_t *pixels, int width, int height)
{
    const int halfWidth = width / 2;
    const int halfHeight = height / 2;
    const size_t stride = static_cast<size_t>(width) * 3;
    m_halved.resize(static_cast<size_t>(halfWidth) * halfHeight * 3);
    uint8_t *out = m_halved.data();
    for (int y = 0; y < halfHeight; ++y) {
        const uint8_t *top = pixels + static_cast<size_t>(2 * y) * stride;
        const uint8_t *bottom = top + stride;
        for (int x = 0; x < halfWidth; ++x) {
            for (int c = 0; c < 3; ++c) {
                const size_t at = static_cast<size_t>(x) * 6 + c;
                *out++ = static_cast<uint8_t>((top[at] + top[at + 3] + bottom[at] + bottom[at + 3] + 2) / 4);
            }
        }
    }
    m_scaled.swap(m_halved);
}

bool JpegEncoder::Encode(const uint8_t *pixels, size_t bytes, int width, int height, bool bgr,
                         std::string &error)
{
    if (m_handle == nullptr) {
        error = "TurboJPEG could not be initialised";
        return false;
    }
    if (pixels == nullptr || width <= 0 || height <= 0 || bytes < static_cast<size_t>(width) * height * 3) {
        error = "colour frame of " + std::to_string(width) + "x" + std::to_string(height) + " with " +
                std::to_string(bytes) + " bytes";
        return false;
    }
    const uint8_t *source = pixels;
    while (width > kMaxWidth && height >= 2) {
        Halve(source, width, height);
        source = m_scaled.data();
        width /= 2;
        height /= 2;
    }
    unsigned char *out = nullptr;
    unsigned long outBytes = 0;
    const int status =
        tjCompress2(static_cast<tjhandle>(m_handle), source, width, 0, height, bgr ? TJPF_BGR : TJPF_RGB,
                    &out, &outBytes, TJSAMP_420, kQuality, TJFLAG_FASTDCT);
    if (status != 0 || out == nullptr) {
        error = std::string("TurboJPEG: ") + tjGetErrorStr2(static_cast<tjhandle>(m_handle));
        tjFree(out);
        return false;
    }
    m_jpeg.assign(out, out + outBytes);
    tjFree(out);
    m_width = width;
    m_height = height;
    return true;
}

} // namespace orvane::cli
