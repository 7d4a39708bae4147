// SPDX-License-Identifier: Apache-2.0
// Writes images as PNG files through libpng: 8- and 16-bit gray (16-bit samples stored big-endian, as
// PNG wants) and RGB from RGB or BGR pixels; frames by their pixel format.
#include "PngWriter.h"

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <vector>

#include "AtomicFile.h"

namespace orvane::cli {
namespace {

/// libpng reports errors by longjmp: this function holds no object with a destructor, so the jump
/// skips nothing. `rows` are ready to store (16-bit samples big-endian).
bool Encode(FILE *file, const PngImage &image, const uint8_t *rows, size_t stride)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png == nullptr) {
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_write_struct(&png, info != nullptr ? &info : nullptr);
        return false;
    }
    png_init_io(png, file);
    png_set_compression_level(png, 3); // a frame saved quickly matters more than a few per cent of size
    png_set_IHDR(png, info, image.width, image.height, static_cast<int>(image.bitDepth),
                 image.channels == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    if (image.bgr) {
        png_set_bgr(png);
    }
    for (uint32_t y = 0; y < image.height; ++y) {
        png_write_row(png, rows + y * stride);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

bool PngWriter::ImageOf(const TfFrame &frame, PngImage &image, std::string &error)
{
    image = PngImage{};
    image.width = frame.width;
    image.height = frame.height;
    image.pixels = frame.pFrameData;
    image.bytes = frame.pFrameData != nullptr ? frame.dataLen : 0;
    switch (frame.pixelFormat) {
    case TF_PIXEL_DEPTH_MM16:
    case TF_PIXEL_GRAY16:
        image.bitDepth = 16;
        return true;
    case TF_PIXEL_GRAY8:
        return true;
    case TF_PIXEL_RGB888:
    case TF_PIXEL_BGR888:
        image.channels = 3;
        image.bgr = frame.pixelFormat == TF_PIXEL_BGR888;
        return true;
    default:
        error = "pixel format " + std::to_string(frame.pixelFormat) + " has no PNG form";
        return false;
    }
}

bool PngWriter::Write(const std::string &path, const PngImage &image, std::string &error)
{
    const bool shapeOk = (image.channels == 1 && (image.bitDepth == 8 || image.bitDepth == 16)) ||
                         (image.channels == 3 && image.bitDepth == 8);
    if (!shapeOk || image.width == 0 || image.height == 0 || image.width > 0x7FFFFFFFu ||
        image.height > 0x7FFFFFFFu) {
        error = path + ": not an image PNG holds (" + std::to_string(image.width) + " x " +
                std::to_string(image.height) + ", " + std::to_string(image.channels) + " channels of " +
                std::to_string(image.bitDepth) + " bits)";
        return false;
    }
    const size_t stride = size_t{image.width} * image.channels * image.bitDepth / 8;
    const size_t needed = stride * image.height;
    if (image.pixels == nullptr || image.bytes < needed) {
        error = path + ": the frame holds " + std::to_string(image.bytes) + " bytes, its size needs " +
                std::to_string(needed);
        return false;
    }
    std::vector<uint8_t> bigEndian;
    const uint8_t *rows = image.pixels;
    if (image.bitDepth == 16) {
        bigEndian.resize(needed);
        for (size_t i = 0; i + 1 < needed; i += 2) {
            uint16_t sample;
            std::memcpy(&sample, image.pixels + i, sizeof sample);
            bigEndian[i] = static_cast<uint8_t>(sample >> 8);
            bigEndian[i + 1] = static_cast<uint8_t>(sample & 0xFF);
        }
        rows = bigEndian.data();
    }
    AtomicFile file(path);
    if (file.Stream() == nullptr) {
        error = file.Error();
        return false;
    }
    if (!Encode(file.Stream(), image, rows, stride)) {
        error = path + ": libpng could not encode the image";
        return false;
    }
    if (!file.Commit()) {
        error = file.Error();
        return false;
    }
    return true;
}

} // namespace orvane::cli
