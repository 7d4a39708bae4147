// SPDX-License-Identifier: Apache-2.0
// Reads a PNG file back with libpng exactly as stored (16-bit samples big-endian), for the tests of
// the files orvane-cli writes.
#pragma once

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <string>
#include <vector>

namespace orvtest {

struct PngContent
{
    bool ok = false;
    uint32_t width = 0;
    uint32_t height = 0;
    int bitDepth = 0;
    int colorType = -1;
    std::vector<uint8_t> bytes; // rows without padding, as stored in the file
};

inline bool DecodePng(FILE *file, PngContent &content)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr || setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
        return false;
    }
    png_init_io(png, file);
    png_read_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    content.width = png_get_image_width(png, info);
    content.height = png_get_image_height(png, info);
    content.bitDepth = png_get_bit_depth(png, info);
    content.colorType = png_get_color_type(png, info);
    const size_t stride = png_get_rowbytes(png, info);
    content.bytes.resize(stride * content.height);
    png_bytepp rows = png_get_rows(png, info);
    for (uint32_t y = 0; y < content.height; ++y) {
        std::copy(rows[y], rows[y] + stride, content.bytes.begin() + static_cast<ptrdiff_t>(y * stride));
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

inline PngContent ReadPng(const std::string &path)
{
    PngContent content;
    FILE *file = std::fopen(path.c_str(), "rb");
    if (file != nullptr) {
        content.ok = DecodePng(file, content);
        std::fclose(file);
    }
    return content;
}

} // namespace orvtest
