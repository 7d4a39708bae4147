// SPDX-License-Identifier: Apache-2.0
// APIDepthRefine: the image pre-processing library the pipeline calls for filtering, geometry, colour
// conversion, undistortion and depth/colour mapping. Get_APIDepthRefine() may yield null: every caller
// checks and skips the step.
#pragma once

#include <cstddef>
#include <cstdint>

#include "Orvane_api.h"

/// Element type of an AlgImage.
enum ALG_ElemType : uint32_t
{
    ALG_8UC1 = 1,  ///< 8-bit, one channel
    ALG_8UC3 = 2,  ///< 8-bit, three channels (RGB or BGR order as the caller keeps it)
    ALG_16UC1 = 3, ///< 16-bit, one channel (depth in mm, 16-bit IR or confidence)
};

/// An image the library works on. Operations that change the geometry write the new width and height
/// back; the buffer must then hold the larger of the old and the new image.
struct AlgImage
{
    void *data;
    ALG_ElemType elemType;
    uint32_t width;
    uint32_t height;
};

/// Calibration handed to Init: row-major 3x3 matrices, distortion k1 k2 p1 p2 k3 k4 k5 k6, and the
/// ToF-to-colour rotation and translation (mm).
struct RefineCameraParams
{
    double tofIntrinsic[9];
    double tofDistortion[8];
    double colorIntrinsic[9];
    double colorDistortion[8];
    double rotation[9];
    double translation[3];
};

/// Filter thresholds passed through from the session.
struct RefineFilterThreshold
{
    int32_t values[8];
};

/// Status codes of the library: 0 success; kRefineNotSupported for an operation this build does not
/// provide (never a false success); kRefineInvalidArgument for null or inconsistent images.
constexpr int kRefineOk = 0;
constexpr int kRefineNotSupported = -255;
constexpr int kRefineInvalidArgument = -15;

/// ConvertColor's source format code for the camera's 12-bit YUV 4:2:0 (I420) colour images.
constexpr int kColorSourceYuv420Planar = 5;

/// The refine library (libDepthRefine.so): one object per camera, made by Get_APIDepthRefine.
///
/// Geometry. Init takes the camera's calibration: the ToF lens at 640x480 and the colour lens at
/// 1920x1080, each a pinhole with the rational radial-tangential distortion k1 k2 p1 p2 k3 k4 k5 k6,
/// and the ToF-to-colour rotation and translation (mm; a ToF point P is R P + T in colour
/// coordinates). A colour image of another size is the largest centred crop of the 1920x1080 image
/// with its aspect ratio, scaled uniformly (ScaleColorIntrinsic in refine/ColorGeometry.h). A lens
/// whose distortion is not defined or not monotonic over its image is refused: its switch cannot be
/// turned on and nothing of it is undistorted. The undistorted image of a lens keeps its principal point
/// and pixel aspect, with fx and fy scaled by the smallest factor that leaves no empty border
/// (ComputeUndistortedIntrinsic). With both undistortion switches on, every ToF image (nearest
/// neighbour, UndistortTof) and every colour image (bilinear, ProcessColor) is delivered undistorted,
/// and registration works with the undistorted pinholes; with a switch off, with the lens.
///
/// Depth filters, in the order the ToF decoder runs them; depth 0 and 65535 are invalid everywhere
/// (never averaged, filled or used as support; 65535 passes every filter unchanged), and a filter
/// that is off changes nothing:
/// - Range limits (SetDepthRange; PreFilterDepth and ProcessDepth): depth above maxDepthMm becomes 0
///   (SetOutofMaxRangeHandle(1) keeps it at maxDepthMm), below minDepthMm 0; 0 is no limit.
/// - Flying pixel (SetFlyingPixelFilterParams, enable 1; PostFilterDepth): threshold in mm at 1 m
///   (default 100), scaled with depth. A pixel with no valid 8-neighbour within the threshold, or lying
///   between a nearer and a farther neighbour along a row, column or diagonal (both beyond the
///   threshold), becomes 0.
/// - Real depth (SetComputeRealDepthEnabled; PostFilterDepth): the radial distance along each pixel's
///   ray becomes axial depth.
/// - Geometric step (UndistortTof), when the ToF undistortion switch is on.
/// - Spatial (SetSmoothingFilterEnabled, the same switch as SetSpatialFilterParams' enable;
///   ProcessDepth): an edge-preserving median, 3x3 (value 2: 5x5); neighbours invalid or farther than
///   the threshold from the centre (mm, default 100) take no part.
/// - Temporal (SetTimeFilterEnabled(on, thresholdMm, frames, -, -); ProcessDepth): a running average
///   avg += (depth - avg) / frames, starting over when the change exceeds the threshold (defaults 50 mm
///   and 4 frames). While SetTimeFilterDepthEnabled is on its result is kept for GetOnlyTimeFilterDepth.
/// - Hole fill (SetFillHoleFilterParams, enable 1; ProcessDepth): runs of at most `value` invalid pixels
///   (default 4) between two valid pixels agreeing within `threshold` mm (default 50) are filled by
///   linear interpolation, along rows and then columns; never across steps or at the border.
/// - IR (FilterIrImage): a 3x3 median while smoothing is on.
/// ConvertIr16To8 keeps the top 8 of 12 bits (src >> 4, saturated). Resize uses nearest neighbour for
/// 16-bit images (depth must not be interpolated) and bilinear otherwise. Mapped IR is always 16-bit
/// on the sensor's scale (8-bit IR is widened x16).
class APIDepthRefine
{
public:
    virtual ~APIDepthRefine() = default;

    virtual int Init(const RefineCameraParams &params, const char *configDir) = 0;
    virtual int SetRgbIntrinsic(const double *intrinsic9, uint32_t width, uint32_t height, int frameMode) = 0;
    virtual int SetFilterThreshold(const RefineFilterThreshold &threshold) = 0;
    virtual int SetSaveComputeDepthTab(bool enabled) = 0;
    /// Range limits for the depth filters: depth above maxDepthMm (or below minDepthMm) becomes 0.
    virtual int SetDepthRange(int range, uint16_t maxDepthMm, uint16_t minDepthMm) = 0;
    virtual int FilterIrImage(AlgImage *image) = 0;
    virtual int SetApplyRGBCorrectionEnabled(bool enabled) = 0;
    virtual int SetApplyRGBDistortionEnabled(bool enabled) = 0;
    /// Converts `count` images in place from the camera's format `sourceFormat` to `targetPixelFormat`
    /// (3 RGB888, 4 BGR888). The one source format is kColorSourceYuv420Planar: the camera's 12-bit
    /// colour format, YUV 4:2:0 in I420 layout (the full Y plane, then the quarter-size U plane, then
    /// the V plane; BT.601 studio range, as cvtColor's I420 conversion reads it). Each image comes as
    /// ALG_8UC1 with the pixel width and height (both even) and leaves as ALG_8UC3; its buffer must hold
    /// width x height x 3 bytes. Another source format answers kRefineNotSupported.
    virtual int ConvertColor(AlgImage *image, int count, int sourceFormat, int targetPixelFormat) = 0;
    virtual int ProcessColor(AlgImage *image) = 0;
    virtual int SetComputeRealDepthEnabled(bool enabled) = 0;
    virtual int SetApplyToFDistortionEnabled(bool enabled, int option) = 0;
    virtual int SetSmoothingFilterEnabled(bool enabled) = 0;
    virtual int SetTimeFilterEnabled(bool enabled, int p1, int p2, int p3, int p4) = 0;
    virtual int SetAlgoType(int type, int option) = 0;
    /// Applies every enabled depth filter in place; `height360` marks a 360-row image.
    virtual int ProcessDepth(AlgImage *depth, bool height360) = 0;
    virtual int PostFilterDepth(AlgImage *depth) = 0;
    virtual int GetMappedPointDepthToRGB(const TfDepthVector3 &depthPoint, const TfVector2u16 &colorSize,
                                         TfVector2u16 *colorPoint) = 0;
    virtual int MapDepthToColor(const AlgImage *color, const AlgImage *depth, AlgImage *out) = 0;
    virtual int MapColorToDepth(const AlgImage *color, const AlgImage *depth, AlgImage *out) = 0;
    virtual int MapIrToColor(const AlgImage *color, const AlgImage *depth, const AlgImage *ir,
                             AlgImage *outIr) = 0;
    virtual int MapDepthIrToColor(const AlgImage *color, const AlgImage *depth, const AlgImage *ir,
                                  AlgImage *outDepth, AlgImage *outIr) = 0;
    /// code 1 flips left-right, 0 upside down, -1 both.
    virtual int Mirror(AlgImage *image, int code) = 0;
    /// Resizes `image` in place to width x height. `capacityBytes` is the size of the buffer
    /// image->data points to: a result that would not fit is refused (kRefineInvalidArgument) and the
    /// image left as it was.
    virtual int Resize(AlgImage *image, uint32_t width, uint32_t height, size_t capacityBytes, int flag) = 0;
    virtual int Crop(AlgImage *image, uint32_t x, uint32_t y, uint32_t width, uint32_t height) = 0;
    /// rotation: 0 a quarter turn clockwise, 1 a half turn, 2 a quarter turn counter-clockwise (the image
    /// rotation setting's codes; 0 and 2 exchange width and height).
    virtual int Rotate(AlgImage *image, int rotation) = 0;
    virtual int SetTimeFilterDepthEnabled(bool enabled) = 0;
    virtual int GetOnlyTimeFilterDepth(AlgImage *out) = 0;
    virtual int SetOutofMaxRangeHandle(int handle) = 0;
    virtual int GetOutofMaxRangeHandle() = 0;
    /// 16-bit IR to 8 bits for display.
    virtual int ConvertIr16To8(uint32_t width, uint32_t height, uint8_t *dst, const uint16_t *src) = 0;
    virtual int SetFlyingPixelFilterParams(const TfFlyingPixelFilterParams &params) = 0;
    virtual int SetSpatialFilterParams(const TfSpatialFilterParams &params) = 0;
    virtual int SetFillHoleFilterParams(const TfFillHoleFilterParams &params) = 0;
    virtual int GetFlyingPixelFilterParams(TfFlyingPixelFilterParams *params) = 0;
    virtual int GetSpatialFilterParams(TfSpatialFilterParams *params) = 0;
    virtual int GetFillHoleFilterParams(TfFillHoleFilterParams *params) = 0;
    virtual int PreFilterDepth(AlgImage *depth) = 0;
    /// Rewrites the 3x3 matrix in place with the intrinsics of the undistorted image.
    virtual int ComputeUndistortedIntrinsic(double *intrinsic9, const double *distortion8, uint16_t width,
                                            uint16_t height) = 0;

    /// The geometric step of the ToF images, in place, while the ToF undistortion switch is on: depth
    /// (16-bit), IR (8- or 16-bit) and confidence (16-bit) of one frame, each resampled by nearest
    /// neighbour onto the undistorted image whose intrinsics ComputeUndistortedIntrinsic gives. A null
    /// image is skipped; all given images must have the depth's size. Runs between PostFilterDepth and
    /// ProcessDepth. kRefineOk also when the switch is off (nothing changes).
    virtual int UndistortTof(AlgImage * /*depth*/, AlgImage * /*ir*/, AlgImage * /*confidence*/)
    {
        return kRefineNotSupported;
    }
    /// The ray (x, y) with z = 1 of every pixel of a width x height image taken through the lens of
    /// `intrinsic9` and `distortion8`, row by row into `raysXY` (2 x width x height doubles): the ray
    /// whose projection through the distortion lands on the pixel. kRefineInvalidArgument, with nothing
    /// written, for a lens the model refuses over that image.
    virtual int UnprojectPixels(const double * /*intrinsic9*/, const double * /*distortion8*/,
                                uint16_t /*width*/, uint16_t /*height*/, double * /*raysXY*/)
    {
        return kRefineNotSupported;
    }
    /// Points in the ToF camera's coordinates (mm) of depth mapped into the colour camera (as
    /// MapDepthToColor delivers it into a colorWidth x colorHeight image): `count` depths, point i being
    /// the colour ray of pixel rayIndex[i] (i itself when rayIndex is null, for an image delivered neither
    /// rotated nor mirrored) times depth[i], turned back through the extrinsics. Depth 0 and 65535 give
    /// (0, 0, 0), and so does an index outside the colour image. kRefineInvalidArgument without a
    /// usable calibration or for a null or inconsistent argument.
    virtual int MappedDepthToPoints(const uint16_t * /*depth*/, uint32_t /*count*/, uint32_t /*colorWidth*/,
                                    uint32_t /*colorHeight*/, const int32_t * /*rayIndex*/,
                                    TfVector3f * /*points*/)
    {
        return kRefineNotSupported;
    }
};

/// The library's one entry point: a new object for each call (one per camera), which the caller owns
/// and deletes. Null when it cannot be made.
extern "C" APIDepthRefine *Get_APIDepthRefine();
