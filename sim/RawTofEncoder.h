// SPDX-License-Identifier: Apache-2.0
// The simulated ToF sensor's encoder: from ground-truth depth to the blocks the camera streams
// (raw four-phase data and camera-computed depth, IR and confidence images).
#pragma once

#include "Scene.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

/// Sub-packet type ids of the ToF blocks the camera sends.
namespace sim_tof {
constexpr uint8_t kRawFourPhase = 0xB1;
constexpr uint8_t kComputedAll = 0xB6;
constexpr uint8_t kRawWdrSubFrame = 0xB9;
constexpr uint8_t kComputedDepth = 0xB3;
constexpr uint8_t kComputedIr = 0xB4;
constexpr uint8_t kComputedConfidence = 0xB5;

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr size_t kPixels = static_cast<size_t>(kWidth) * kHeight;
/// One phase block: 480 image rows and 3 embedded rows of 640 pixels, each pixel two u16 taps.
constexpr size_t kRowBytes = kWidth * 2 * 2;
constexpr size_t kBlockRows = kHeight + 3;
constexpr size_t kPhaseBlockBytes = kRowBytes * kBlockRows;
constexpr size_t kRawPayloadBytes = 4 * kPhaseBlockBytes;
/// Where each phase block carries its own phase number: embedded row 481, byte 73.
constexpr size_t kPhaseNumberOffset = 481 * kRowBytes + 73;
constexpr size_t kComputedAllBytes = kPixels * 2 + kPixels + kPixels * 2;
constexpr size_t kImageBytes = kPixels * 2;
constexpr size_t kSubPacketHeaderBytes = 5;
constexpr int kRangeCount = 6;
} // namespace sim_tof

/// Where each ToF pixel's centre ray lands in the scene, kept only when the stream is asked for it.
struct SimTofGeometryTruth
{
    std::vector<int16_t> object;     // Scene::CastRay's index of the surface hit, -1 for none
    std::vector<float> axialDepthMm; // that surface's depth along the optical axis, 0 for none
};

/// What the encoder made of one frame: the scene's depth, and the exact phase and amplitude per
/// pixel that went into the taps (before noise and rounding), so that a test can check a decoder
/// against the camera's intent rather than against its own arithmetic.
struct SimTofTruth
{
    uint64_t frameNumber = 0;
    uint8_t range = 0;
    uint8_t typeId = 0;
    double mmPerRadian = 0.0;    // the range's c / (4 pi f)
    int temperatureOffsetMm = 0; // the measurement falls short of the depth by this much
    double noiseSigma = 0.0;     // per tap, in 12-bit sample units
    std::vector<float> depthMm;  // the rendered depth, 0 where nothing is seen
    bool radial = false;         // depthMm is the distance along each pixel's ray, not along the axis
    std::vector<float> reflectivity;
    std::vector<float> phaseRad;  // wrapped into [0, 2 pi)
    std::vector<float> amplitude; // |(I, Q)| in 12-bit sample units
    // Filled for camera-computed blocks: exactly what the images carry.
    std::vector<uint16_t> cameraDepthMm;
    std::vector<uint16_t> cameraIr; // 16-bit IR; the 8-bit IR of 0xB6 is this shifted right by 4
    std::vector<uint16_t> cameraConfidence;
    /// Null unless the stream keeps geometry truth (SimStreamer::SetGeometryOptions); shared by the
    /// frames of one rendering.
    std::shared_ptr<const SimTofGeometryTruth> geometry;
};

/// Encodes renderings the way the sensor would. The four phase blocks sample the correlation at
/// 0, 90, 180 and 270 degrees: for phase block k the taps are A = base + (amplitude / 4) sin(phi + k pi/2)
/// and B = base - (amplitude / 4) sin(phi + k pi/2), so that (A0 - B0) - (A2 - B2) = amplitude sin(phi),
/// (A1 - B1) - (A3 - B3) = amplitude cos(phi) and A0 + B0 + A2 + B2 = amplitude + 4 ambient. Samples
/// are 12-bit, stored in the upper 12 bits of each little-endian u16.
/// A rendering with sub-pixel samples (SimRendering::samplesPerAxis > 1) is measured the way a sensor
/// pixel seeing several surfaces measures it: the samples' phasors, amplitude e^(i phase) at the range's
/// frequency, are averaged, so that an edge pixel reports a depth between the surfaces; the truth's
/// depth stays that of the pixel's centre.
/// Not thread-safe: one encoder per stream.
class RawTofEncoder
{
public:
    struct Options
    {
        double noiseSigma = 0.0; // Gaussian noise per tap; 0 for none
        uint32_t seed = 1;
        int temperatureOffsetMm = 0;
        /// This fraction of the pixels of camera-computed depth is sent as 0, the same pixels in every
        /// frame for the same seed (the sensor's dead and saturated pixels).
        double droppedFraction = 0.0;
        uint32_t droppedSeed = 1;
    };

    RawTofEncoder();
    explicit RawTofEncoder(const Options &options);

    void SetOptions(const Options &options);
    Options GetOptions() const { return m_options; }

    /// Modulation frequency of each depth range (120, 80, 60, 48, 40 and 20 MHz); 0 for other ranges.
    static double ModulationHz(int range);
    /// c / (4 pi f): millimetres of depth per radian of phase; 0 for a range outside 0..5.
    static double MmPerRadian(int range);
    /// The camera's factory table for `range` as the host reads it ("rangeOffset_<range>.bin": 16-bit
    /// entries, one per millimetre up to the range's maximum): entry k is the true distance of the pixels
    /// whose phase the host's fast arc tangent puts at k mm. It takes out the approximation's error, as
    /// a calibrated camera's tables do. `maxDepthMm` is the range's maximum (1249 ... 7495).
    static std::vector<int16_t> RangeOffsetTable(int range, int maxDepthMm);
    /// The unambiguous depth of a range, 2 pi c / (4 pi f).
    static double WrapDepthMm(int range);
    /// The sensor's amplitude for a surface: falls with the square of the depth, capped below the
    /// sample ceiling; 0 where nothing is seen.
    static float AmplitudeFor(float depthMm, float reflectivity);

    static constexpr uint16_t kAmbient = 16; // per tap
    static constexpr float kMaxAmplitude = 3900.0f;
    static constexpr float kReferenceDepthMm = 4000.0f;
    /// Camera-computed depth beyond this is reported as 0.
    static constexpr float kComputedMaxDepthMm = 7495.0f;

    /// Whether the camera drops computed-depth pixel `pixel` for `seed` at `fraction`.
    static bool IsDropped(size_t pixel, double fraction, uint32_t seed);

    /// Appends a raw four-phase sub-packet (typeId 0xB1 or 0xB9, the range in the low 4 bits of the
    /// spare byte) for `range`, and fills `truth`. False, with nothing appended, for a rendering that
    /// is not 640x480 or a range outside 0..5.
    bool AppendRaw(const SimRendering &scene, uint8_t typeId, int range, std::vector<uint8_t> &out,
                   SimTofTruth &truth);
    /// Appends a 0xB6 sub-packet: depth (u16), IR (u8) and confidence (u16) in one block.
    bool AppendComputedAll(const SimRendering &scene, int range, std::vector<uint8_t> &out,
                           SimTofTruth &truth);
    /// Appends 0xB3, 0xB4 and 0xB5 sub-packets: depth, IR and confidence, each 640x480 u16.
    bool AppendComputedImages(const SimRendering &scene, int range, std::vector<uint8_t> &out,
                              SimTofTruth &truth);

    /// Writes a 5-byte sub-packet header.
    static void AppendHeader(std::vector<uint8_t> &out, uint8_t typeId, uint32_t length, uint8_t spare);

private:
    bool Prepare(const SimRendering &scene, uint8_t typeId, int range, SimTofTruth &truth);
    /// The depth pixel i measures: its samples' mean phasor, unwrapped around the strongest sample.
    float MixedDepth(const SimRendering &scene, size_t i, double mmPerRadian, float &amplitude) const;
    void FillComputed(SimTofTruth &truth) const;
    uint16_t Sample(double value);

    Options m_options;
    std::mt19937 m_random;
    /// The depth each pixel measures, for a rendering with sub-pixel samples; empty otherwise (the
    /// rendered depth is then what the pixels measure).
    std::vector<float> m_measuredMm;
};
