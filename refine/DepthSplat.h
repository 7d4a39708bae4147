// SPDX-License-Identifier: Apache-2.0
// The footprint splat: depth pixels projected into the colour camera drawn as boxes into a z-buffer, the
// nearer surface winning, and the pass that then closes sub-pixel cracks.
#pragma once

#include <cstdint>
#include <vector>

namespace refine {

/// Draws projected depth pixels into a buffer that keeps the smallest value per pixel: 16-bit z (65535
/// empty), or 32-bit keys with z in the high half and the IR in the low half, so that the IR travels
/// with the nearer surface. Each pixel covers its footprint: a box around its projection, its half
/// footprint (from the neighbouring pixels' projections, see Frame) scaled by its depth over its colour
/// z. Scratch buffers grow on first use; after that nothing is allocated.
class DepthSplat
{
public:
    /// One depth image projected into the colour camera, and the buffer it is drawn into.
    struct Frame
    {
        /// Per depth pixel of the row being drawn: colour pixel coordinates and the colour camera's z (0:
        /// not projected).
        const float *u, *v, *z;
        const uint16_t *depth;
        /// Per depth pixel: half footprint in colour pixels for depth / colour z = 1.
        const float *halfX, *halfY;
        uint32_t width, height;
        /// The buffer's size, and its pixels per colour pixel (below 1 for a coarser grid).
        uint32_t targetWidth, targetHeight;
        float scale;
        /// Colour pixels per depth pixel where the cameras face a surface squarely.
        float nominalX, nominalY;
    };

    /// Draws depth row `row` as z into `zBuffer`.
    void DrawRow(const Frame &frame, uint32_t row, uint16_t *zBuffer);
    /// Draws depth row `row` with that row's IR as keys; 8-bit IR is widened x16 to the sensor's scale.
    void DrawRow(const Frame &frame, uint32_t row, uint32_t *keys, const uint8_t *irRow);
    void DrawRow(const Frame &frame, uint32_t row, uint32_t *keys, const uint16_t *irRow);

    /// Turns the drawn z (and IR) into the result: an empty pixel whose two opposite neighbours (left
    /// and right, else above and below) both hold z and agree within 16 mm plus 1/32 of their depth gets
    /// their mean z (and mean IR); every other empty pixel becomes 0. Decisions read the buffer as drawn,
    /// so a closed crack never supports another and no gap wider than a pixel is filled. With `keys`, z
    /// and IR are first split from them, row by row.
    void CloseCracks(uint16_t *z, uint16_t *ir, uint32_t width, uint32_t height, const uint32_t *keys);

private:
    template <typename IrT, typename T>
    void Draw(const Frame &frame, uint32_t row, T *buffer, const IrT *irRow, uint32_t irShift);

    /// A pixel the crack pass decided: its column, z and IR (0 when it stays empty).
    struct Fill
    {
        uint32_t x;
        uint16_t z;
        uint16_t ir;
    };
    /// One depth row's boxes, six values per pixel.
    std::vector<int32_t> m_boxes;
    /// The crack pass's decisions for two rows.
    std::vector<Fill> m_fills;
};

} // namespace refine
