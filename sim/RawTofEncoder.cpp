// SPDX-License-Identifier: Apache-2.0
// The simulated ToF sensor's encoder: phase and amplitude from depth, taps, and the computed images.
#include "RawTofEncoder.h"

#include "runtime/ByteReader.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kSpeedOfLightMPerS = 299792458.0;
constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2.0 * kPi;
constexpr double kModulationMHz[sim_tof::kRangeCount] = {120.0, 80.0, 60.0, 48.0, 40.0, 20.0};
constexpr uint16_t kSampleMax = 4095;

void PutU16(uint8_t *at, uint16_t value)
{
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

} // namespace

RawTofEncoder::RawTofEncoder() : RawTofEncoder(Options{})
{
}

RawTofEncoder::RawTofEncoder(const Options &options) : m_options(options), m_random(options.seed)
{
}

void RawTofEncoder::SetOptions(const Options &options)
{
    m_options = options;
    m_random.seed(options.seed);
}

double RawTofEncoder::ModulationHz(int range)
{
    return range >= 0 && range < sim_tof::kRangeCount ? kModulationMHz[range] * 1e6 : 0.0;
}

double RawTofEncoder::MmPerRadian(int range)
{
    const double hz = ModulationHz(range);
    return hz > 0.0 ? kSpeedOfLightMPerS * 1000.0 / (4.0 * kPi * hz) : 0.0;
}

namespace {
/// The host's documented fast arc tangent, in single precision, with its wrap into [0, 2 pi).
float HostPhase(double truePhase)
{
    const float y = static_cast<float>(std::sin(truePhase));
    const float x = static_cast<float>(std::cos(truePhase));
    float angle = 0.0f;
    if (y == 0.0f) {
        angle = x >= 0.0f ? 0.0f : 3.1415927f;
    } else {
        const float a = std::fabs(y) + 1e-10f;
        float r = 0.0f;
        float base = 0.0f;
        if (x < 0.0f) {
            r = (a + x) / (a - x);
            base = 2.3561945f;
        } else {
            r = (x - a) / (a + x);
            base = 0.7853982f;
        }
        angle = (0.1963f * r * r - 0.9817f) * r + base;
        angle = y < 0.0f ? -angle : angle;
    }
    return angle < 0.0f ? angle + 6.2831855f : angle;
}
} // namespace

std::vector<int16_t> RawTofEncoder::RangeOffsetTable(int range, int maxDepthMm)
{
    std::vector<int16_t> table;
    const double mmPerRadian = MmPerRadian(range);
    if (mmPerRadian <= 0.0 || maxDepthMm <= 0) {
        return table;
    }
    table.resize(static_cast<size_t>(maxDepthMm) + 1);
    for (int k = 0; k <= maxDepthMm; ++k) {
        // The host's index is the integer part of its phase times mm/rad: the pixels at index k have a
        // host phase in [k, k + 1) mm; take the true distance at the middle of that interval.
        const double target = (k + 0.5) / mmPerRadian;
        double low = 0.0;
        double high = kTwoPi;
        for (int step = 0; step < 48; ++step) {
            const double mid = 0.5 * (low + high);
            (HostPhase(mid) < target ? low : high) = mid;
        }
        const double trueMm = 0.5 * (low + high) * mmPerRadian;
        table[static_cast<size_t>(k)] =
            static_cast<int16_t>(std::lround(std::min(trueMm, double(maxDepthMm))));
    }
    return table;
}

double RawTofEncoder::WrapDepthMm(int range)
{
    return kTwoPi * MmPerRadian(range);
}

float RawTofEncoder::AmplitudeFor(float depthMm, float reflectivity)
{
    if (depthMm <= 0.0f || reflectivity <= 0.0f) {
        return 0.0f;
    }
    const float falloff = (kReferenceDepthMm / depthMm) * (kReferenceDepthMm / depthMm);
    return std::min(kMaxAmplitude, kMaxAmplitude * reflectivity * falloff);
}

void RawTofEncoder::AppendHeader(std::vector<uint8_t> &out, uint8_t typeId, uint32_t length, uint8_t spare)
{
    ByteWriter header;
    header.WriteU8(typeId);
    header.WriteU24Le(length);
    header.WriteU8(spare);
    out.insert(out.end(), header.Bytes().begin(), header.Bytes().end());
}

float RawTofEncoder::MixedDepth(const SimRendering &scene, size_t i, double mmPerRadian,
                                float &amplitude) const
{
    const size_t count =
        static_cast<size_t>(scene.samplesPerAxis) * static_cast<size_t>(scene.samplesPerAxis);
    const float *depth = &scene.sampleDepthMm[i * count];
    const float *reflectivity = &scene.sampleReflectivity[i * count];
    size_t strongest = 0;
    float strongestAmplitude = 0.0f;
    for (size_t k = 0; k < count; ++k) {
        const float a = AmplitudeFor(depth[k], reflectivity[k]);
        if (a > strongestAmplitude) {
            strongestAmplitude = a;
            strongest = k;
        }
    }
    amplitude = 0.0f;
    if (strongestAmplitude <= 0.0f) {
        return 0.0f;
    }
    double real = 0.0;
    double imaginary = 0.0;
    for (size_t k = 0; k < count; ++k) {
        const double a = AmplitudeFor(depth[k], reflectivity[k]);
        const double phase = (depth[k] - depth[strongest]) / mmPerRadian;
        real += a * std::cos(phase);
        imaginary += a * std::sin(phase);
    }
    amplitude = static_cast<float>(std::hypot(real, imaginary) / static_cast<double>(count));
    return static_cast<float>(depth[strongest] + std::atan2(imaginary, real) * mmPerRadian);
}

bool RawTofEncoder::IsDropped(size_t pixel, double fraction, uint32_t seed)
{
    if (fraction <= 0.0) {
        return false;
    }
    // splitmix64 of the seed and the pixel: the same pixels for the same seed, frame after frame.
    uint64_t z = (uint64_t{seed} << 32 | pixel) + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) * 0x1.0p-53 < fraction;
}

bool RawTofEncoder::Prepare(const SimRendering &scene, uint8_t typeId, int range, SimTofTruth &truth)
{
    if (scene.width != sim_tof::kWidth || scene.height != sim_tof::kHeight || range < 0 ||
        range >= sim_tof::kRangeCount || scene.depthMm.size() != sim_tof::kPixels ||
        scene.reflectivity.size() != sim_tof::kPixels) {
        return false;
    }
    const size_t samples = static_cast<size_t>(std::max(scene.samplesPerAxis, 1));
    const bool mixed = samples > 1 && scene.sampleDepthMm.size() == sim_tof::kPixels * samples * samples &&
                       scene.sampleReflectivity.size() == scene.sampleDepthMm.size();
    truth.range = static_cast<uint8_t>(range);
    truth.typeId = typeId;
    truth.mmPerRadian = MmPerRadian(range);
    truth.temperatureOffsetMm = m_options.temperatureOffsetMm;
    truth.noiseSigma = m_options.noiseSigma;
    truth.depthMm = scene.depthMm;
    truth.radial = scene.radial;
    truth.reflectivity = scene.reflectivity;
    truth.phaseRad.assign(sim_tof::kPixels, 0.0f);
    truth.amplitude.assign(sim_tof::kPixels, 0.0f);
    truth.cameraDepthMm.clear();
    truth.cameraIr.clear();
    truth.cameraConfidence.clear();
    if (mixed) {
        m_measuredMm.assign(sim_tof::kPixels, 0.0f);
    } else {
        m_measuredMm.clear();
    }
    for (size_t i = 0; i < sim_tof::kPixels; ++i) {
        float amplitude = 0.0f;
        float measuredMm = scene.depthMm[i];
        if (mixed) {
            measuredMm = MixedDepth(scene, i, truth.mmPerRadian, amplitude);
            m_measuredMm[i] = measuredMm;
        } else {
            amplitude = AmplitudeFor(measuredMm, scene.reflectivity[i]);
        }
        truth.amplitude[i] = amplitude;
        if (amplitude <= 0.0f) {
            continue;
        }
        // A warm sensor measures short; the host adds the offset back from its temperature table.
        double phase = std::fmod((measuredMm - m_options.temperatureOffsetMm) / truth.mmPerRadian, kTwoPi);
        if (phase < 0.0) {
            phase += kTwoPi;
        }
        truth.phaseRad[i] = static_cast<float>(phase);
    }
    return true;
}

uint16_t RawTofEncoder::Sample(double value)
{
    if (m_options.noiseSigma > 0.0) {
        std::normal_distribution<double> noise(0.0, m_options.noiseSigma);
        value += noise(m_random);
    }
    const long rounded = std::lround(value);
    return static_cast<uint16_t>(std::clamp<long>(rounded, 0, kSampleMax));
}

bool RawTofEncoder::AppendRaw(const SimRendering &scene, uint8_t typeId, int range, std::vector<uint8_t> &out,
                              SimTofTruth &truth)
{
    if ((typeId != sim_tof::kRawFourPhase && typeId != sim_tof::kRawWdrSubFrame) ||
        !Prepare(scene, typeId, range, truth)) {
        return false;
    }
    AppendHeader(out, typeId, static_cast<uint32_t>(sim_tof::kRawPayloadBytes), static_cast<uint8_t>(range));
    const size_t start = out.size();
    out.resize(start + sim_tof::kRawPayloadBytes, 0);
    uint8_t *payload = out.data() + start;
    const bool noisy = m_options.noiseSigma > 0.0;
    for (size_t i = 0; i < sim_tof::kPixels; ++i) {
        const double amplitude = truth.amplitude[i];
        const double phase = truth.phaseRad[i];
        const double base = kAmbient + amplitude / 4.0;
        const double sine = std::sin(phase);
        const double cosine = std::cos(phase);
        const double correlation[4] = {sine, cosine, -sine, -cosine};
        const size_t row = i / sim_tof::kWidth;
        const size_t column = i % sim_tof::kWidth;
        for (size_t k = 0; k < 4; ++k) {
            uint16_t a = 0;
            uint16_t b = 0;
            const double difference = amplitude / 2.0 * correlation[k];
            if (noisy) {
                a = Sample(base + difference / 2.0);
                b = Sample(base - difference / 2.0);
            } else {
                // Rounding the difference once keeps opposite phases exactly opposite.
                const long roundedDifference = std::lround(difference);
                const long low = std::lround(base - roundedDifference / 2.0);
                b = static_cast<uint16_t>(std::clamp<long>(low, 0, kSampleMax));
                a = static_cast<uint16_t>(std::clamp<long>(low + roundedDifference, 0, kSampleMax));
            }
            uint8_t *pixel = payload + k * sim_tof::kPhaseBlockBytes + row * sim_tof::kRowBytes + column * 4;
            PutU16(pixel, static_cast<uint16_t>(a << 4));
            PutU16(pixel + 2, static_cast<uint16_t>(b << 4));
        }
    }
    for (size_t k = 0; k < 4; ++k) {
        payload[k * sim_tof::kPhaseBlockBytes + sim_tof::kPhaseNumberOffset] = static_cast<uint8_t>(k);
    }
    return true;
}

void RawTofEncoder::FillComputed(SimTofTruth &truth) const
{
    truth.cameraDepthMm.assign(sim_tof::kPixels, 0);
    truth.cameraIr.assign(sim_tof::kPixels, 0);
    truth.cameraConfidence.assign(sim_tof::kPixels, 0);
    const std::vector<float> &measured = m_measuredMm.empty() ? truth.depthMm : m_measuredMm;
    for (size_t i = 0; i < sim_tof::kPixels; ++i) {
        const float depthMm = measured[i];
        if (depthMm > 0.0f && depthMm <= kComputedMaxDepthMm &&
            !IsDropped(i, m_options.droppedFraction, m_options.droppedSeed)) {
            truth.cameraDepthMm[i] = static_cast<uint16_t>(std::lround(depthMm));
        }
        truth.cameraIr[i] = static_cast<uint16_t>(std::lround(truth.amplitude[i] + 4.0f * kAmbient));
        truth.cameraConfidence[i] = static_cast<uint16_t>(std::lround(truth.amplitude[i]));
    }
}

bool RawTofEncoder::AppendComputedAll(const SimRendering &scene, int range, std::vector<uint8_t> &out,
                                      SimTofTruth &truth)
{
    if (!Prepare(scene, sim_tof::kComputedAll, range, truth)) {
        return false;
    }
    FillComputed(truth);
    AppendHeader(out, sim_tof::kComputedAll, static_cast<uint32_t>(sim_tof::kComputedAllBytes),
                 static_cast<uint8_t>(range));
    const size_t start = out.size();
    out.resize(start + sim_tof::kComputedAllBytes, 0);
    uint8_t *depth = out.data() + start;
    uint8_t *ir = depth + sim_tof::kImageBytes;
    uint8_t *confidence = ir + sim_tof::kPixels;
    for (size_t i = 0; i < sim_tof::kPixels; ++i) {
        PutU16(depth + 2 * i, truth.cameraDepthMm[i]);
        ir[i] = static_cast<uint8_t>(std::min<int>(255, truth.cameraIr[i] >> 4));
        PutU16(confidence + 2 * i, truth.cameraConfidence[i]);
    }
    return true;
}

bool RawTofEncoder::AppendComputedImages(const SimRendering &scene, int range, std::vector<uint8_t> &out,
                                         SimTofTruth &truth)
{
    if (!Prepare(scene, sim_tof::kComputedDepth, range, truth)) {
        return false;
    }
    FillComputed(truth);
    const std::pair<uint8_t, const std::vector<uint16_t> *> images[] = {
        {sim_tof::kComputedDepth, &truth.cameraDepthMm},
        {sim_tof::kComputedIr, &truth.cameraIr},
        {sim_tof::kComputedConfidence, &truth.cameraConfidence}};
    for (const auto &image : images) {
        AppendHeader(out, image.first, static_cast<uint32_t>(sim_tof::kImageBytes),
                     static_cast<uint8_t>(range));
        const size_t start = out.size();
        out.resize(start + sim_tof::kImageBytes, 0);
        for (size_t i = 0; i < sim_tof::kPixels; ++i) {
            PutU16(out.data() + start + 2 * i, (*image.second)[i]);
        }
    }
    return true;
}
