// SPDX-License-Identifier: Apache-2.0
// Registration between the ToF and colour cameras: depth and IR drawn into the colour camera, colour
// sampled into the depth camera, and single depth points projected into a colour image of any size.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "CameraModel.h"
#include "DepthSplat.h"
#include "refine/APIDepthRefine.h"

namespace refine {

/// The geometry both cameras' delivered images have: one immutable record, replaced as a whole when the
/// calibration or an undistortion switch changes.
struct RegistrationGeometry
{
    /// The ToF lens at the 640x480 sensor size.
    LensModel tofLens;
    /// Delivered ToF images are undistorted: their pixels follow UndistortedPinhole(tofLens, 640, 480).
    bool tofUndistorted = false;
    /// The colour lens at the 1920x1080 calibration size; other sizes follow ScaleColorIntrinsic.
    LensModel colorLens;
    /// Delivered colour images are undistorted: a w x h image follows the undistorted pinhole of the
    /// colour lens scaled to w x h.
    bool colorUndistorted = false;
    /// A point P in ToF coordinates is rotation * P + translation in colour coordinates (row-major, mm).
    double rotation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    double translation[3] = {0, 0, 0};
};

using RegistrationGeometryPtr = std::shared_ptr<const RegistrationGeometry>;

/// Maps one camera's images between its ToF and colour cameras. Depth is axial z in mm; 0 and 65535 are
/// invalid and never projected. The delivered depth image is the 640x480 sensor image or a centred crop
/// of it (640x360 takes sensor rows 60 to 419). Every operation returns kRefineOk or, for a null, empty
/// or inconsistent image, a null geometry or an out image smaller than its result (its width x height
/// on entry is its capacity), kRefineInvalidArgument with nothing written.
///
/// Depth into colour: every valid depth pixel is moved into the colour camera and splatted over the
/// colour pixels its footprint covers with a z-buffer, so the nearer surface wins (DepthSplat). The
/// footprint comes from the projections of the neighbouring pixels, measured once per geometry and
/// colour size at 2 m, scaled per pixel by its depth over its colour z and widened 4 % so that slanted
/// surfaces leave no cracks. The result is the colour camera's z, rounded and kept within 1..65534;
/// colour pixels no depth pixel reaches (occlusion shadows, outside the ToF view) are 0. One pass then
/// closes sub-pixel cracks: an empty pixel whose two opposite neighbours agree gets their mean.
///
/// Colour into depth: each depth pixel takes the bilinear sample of the colour image at its projection.
/// It is black without valid depth, outside the colour image, or hidden from the colour camera: more
/// than 10 mm plus 1/32 of its z behind the nearest depth pixel falling in the same cell of a grid
/// about one footprint wide (so hidden pixels are found to within a cell).
///
/// Caches (ray table per geometry, colour models per geometry and colour size, scratch buffers) are
/// built on first use; after that no call allocates. One object per camera: the frame operations come
/// from one delivery thread, GetMappedPointDepthToRGB from any thread; a mutex serialises them.
class Registration
{
public:
    static constexpr uint32_t kSensorWidth = 640;
    static constexpr uint32_t kSensorHeight = 480;

    /// The colour camera's z of `depth` in a colour-sized 16-bit image. Only `color`'s size is read.
    int MapDepthToColor(const RegistrationGeometryPtr &geometry, const AlgImage *color, const AlgImage *depth,
                        AlgImage *outDepth);
    /// MapDepthToColor plus the IR (8- or 16-bit, the depth's size) of the depth pixel that won each
    /// colour pixel, always 16-bit on the sensor's 12-bit scale (8-bit IR is widened x16); 0 where the
    /// depth is 0.
    int MapDepthIrToColor(const RegistrationGeometryPtr &geometry, const AlgImage *color,
                          const AlgImage *depth, const AlgImage *ir, AlgImage *outDepth, AlgImage *outIr);
    /// The IR half of MapDepthIrToColor; the depth only decides which surface wins.
    int MapIrToColor(const RegistrationGeometryPtr &geometry, const AlgImage *color, const AlgImage *depth,
                     const AlgImage *ir, AlgImage *outIr);
    /// The 8-bit three-channel `color` sampled at every depth pixel into a depth-sized image.
    int MapColorToDepth(const RegistrationGeometryPtr &geometry, const AlgImage *color, const AlgImage *depth,
                        AlgImage *outColor);
    /// The colour pixel, rounded to the nearest, that depth pixel (depthX, depthY) of the 640x480 image
    /// at depthZ mm falls on in a colorSize image. kRefineInvalidArgument and (0, 0) for depth 0 or
    /// 65535, a pixel outside the depth image, or a result outside the colour image.
    int GetMappedPointDepthToRGB(const RegistrationGeometryPtr &geometry, const TfDepthVector3 &point,
                                 const TfVector2u16 &colorSize, TfVector2u16 *colorPoint);

private:
    /// The colour camera's model at one delivered size, in float for the per-pixel loops.
    struct ColorModel
    {
        float fx = 0, fy = 0, cx = 0, cy = 0;
        float k1 = 0, k2 = 0, p1 = 0, p2 = 0, k3 = 0, k4 = 0, k5 = 0, k6 = 0;
        bool distorted = false;
        /// Rays at or beyond this squared radius are not projected: past it the distortion polynomial
        /// turns back and would fold far points into the image.
        float maxRay2 = 0;
    };
    struct ColorModelEntry
    {
        RegistrationGeometryPtr geometry;
        uint32_t width = 0;
        uint32_t height = 0;
        ColorModel model;
    };
    /// The depth image being mapped and the per-pixel projection of its current row.
    struct Projection
    {
        std::vector<float> u, v, z;
        const uint16_t *depth = nullptr;
        uint32_t width = 0;
        uint32_t height = 0;
    };
    /// The buffer a splat draws into (a coarser grid for occlusion tests): its size and the scale from
    /// colour pixel coordinates to its own.
    struct SplatTarget
    {
        uint32_t width;
        uint32_t height;
        float scale;
    };

    bool EnsureRays(const RegistrationGeometryPtr &geometry);
    /// The half footprint of every depth pixel in the colour image, for depth / colour z = 1.
    void EnsureFootprints(const RegistrationGeometryPtr &geometry, uint32_t colorWidth, uint32_t colorHeight);
    const ColorModel *ColorModelFor(const RegistrationGeometryPtr &geometry, uint32_t width, uint32_t height);
    /// Rays, colour model, footprints and buffers for mapping `depth` at a colour size.
    int Prepare(const RegistrationGeometryPtr &geometry, const AlgImage &depth, uint32_t colorWidth,
                uint32_t colorHeight);
    /// Projects one row of the depth image being mapped into m_projection's row buffers.
    void ProjectRow(uint32_t row);
    void ProjectPoints(const float *rayX, const float *rayY, const float *rayZ, const uint16_t *depth,
                       uint32_t n, float *u, float *v, float *z) const;
    /// Projects the depth image row by row and splats it: z into `zBuffer`, or with `keys` z and `ir`.
    void Splat(const SplatTarget &target, uint16_t *zBuffer, uint32_t *keys, const AlgImage *ir);
    int MapToColor(const RegistrationGeometryPtr &geometry, const AlgImage *color, const AlgImage *depth,
                   const AlgImage *ir, AlgImage *outDepth, AlgImage *outIr);

    std::mutex m_mutex;
    // Everything below is guarded by m_mutex.
    RegistrationGeometryPtr m_rayGeometry;
    /// rotation * ray of every sensor pixel (ray = (x, y, 1) in ToF coordinates); NaN where the lens
    /// has no ray.
    std::vector<float> m_rayX, m_rayY, m_rayZ;
    float m_translation[3] = {0, 0, 0};
    /// The ToF focal lengths of the delivered images (pixels), for the footprint of a lone pixel.
    float m_tofFx = 1, m_tofFy = 1;
    ColorModelEntry m_models[4];
    uint32_t m_nextModel = 0;
    /// The model of the frame being mapped.
    const ColorModel *m_model = nullptr;
    Projection m_projection;
    std::vector<uint16_t> m_zScratch;
    /// z and IR drawn together: z in the high half, IR in the low half.
    std::vector<uint32_t> m_keys;
    RegistrationGeometryPtr m_footprintGeometry;
    uint32_t m_footprintKey[4] = {0, 0, 0, 0};
    std::vector<float> m_halfX, m_halfY;
    DepthSplat m_splat;
    /// Where every depth pixel samples the colour image, kept from the occlusion pass for the sampling
    /// pass: occlusion cell (-1: not sampled), rounded z, the sample's place in the image (byte offset
    /// and edge flags) and its 7-bit weights (x in the low byte, y in the high byte).
    struct ColorSamples
    {
        std::vector<int32_t> cell;
        std::vector<uint16_t> z;
        std::vector<uint32_t> place;
        std::vector<uint16_t> weights;
    };
    ColorSamples m_samples;
};

} // namespace refine
