// SPDX-License-Identifier: Apache-2.0
// A small 3-D scene of planes, boxes and spheres and the pinhole renderer that turns it into the
// ground-truth depth and reflectivity the simulated ToF sensor sees.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

/// Camera coordinates in millimetres: x right, y down, z along the optical axis.
struct SimVector
{
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

/// The points p with normal · p = offsetMm; the normal need not be of unit length.
struct SimPlane
{
    SimVector normal{0.0, 0.0, 1.0};
    double offsetMm = 0.0;
    float reflectivity = 1.0f;
};

/// An axis-aligned box between two corners.
struct SimBox
{
    SimVector minMm;
    SimVector maxMm;
    float reflectivity = 1.0f;
};

struct SimSphere
{
    SimVector centreMm;
    double radiusMm = 0.0;
    float reflectivity = 1.0f;
};

/// A pinhole camera: pixel (u, v) looks along ((u - cx) / fx, (v - cy) / fy, 1).
struct SimPinhole
{
    double fx = 520.0;
    double fy = 520.0;
    double cx = 320.0;
    double cy = 240.0;
    int width = 640;
    int height = 480;

    /// From a row-major 3x3 camera matrix [fx 0 cx; 0 fy cy; 0 0 1].
    static SimPinhole FromMatrix(const std::array<double, 9> &matrix, int width, int height);
};

struct SimLens;

/// Where a camera stands in the scene: a scene point X (the ToF camera's coordinates) is at R X + t in
/// the camera's own coordinates, as the calibration's ToF-to-colour rotation and translation put it.
struct SimPose
{
    std::array<double, 9> rotation{{1.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0}}; // row-major
    std::array<double, 3> translationMm{};
};

/// How a rendering measures its pixels.
struct SimRenderOptions
{
    /// Surfaces measured beyond this are not seen.
    float maxDepthMm = 7495.0f;
    /// Each pixel measures the distance along its ray from the camera centre instead of z.
    bool radial = false;
    /// Above 1, each pixel is also sampled on an N x N grid of sub-pixel rays (see SimRendering).
    int samplesPerAxis = 1;
};

/// What one rendering yields per pixel, row-major, from the ray through the pixel's centre. A pixel
/// that sees nothing, or sees its nearest surface beyond the maximum depth, has depth 0, reflectivity 0
/// and object -1.
struct SimRendering
{
    int width = 0;
    int height = 0;
    std::vector<float> depthMm;      // along the optical axis, or along the ray when `radial`
    std::vector<float> reflectivity; // of the surface hit, 0..1
    std::vector<int16_t> object;     // Scene::CastRay's index of the surface hit, -1 for none
    bool radial = false;
    /// Only when `radial`: the same surfaces' depth along the optical axis.
    std::vector<float> axialDepthMm;
    /// Only with samplesPerAxis N > 1: N x N samples per pixel (pixel i holds samples i N^2 ... ),
    /// sample (a, b) looking through (u + (a + 0.5) / N - 0.5, v + (b + 0.5) / N - 0.5), measured as
    /// depthMm is.
    int samplesPerAxis = 1;
    std::vector<float> sampleDepthMm;
    std::vector<float> sampleReflectivity;
};

/// The scene the simulated camera looks at. Objects may overlap; the nearest surface wins.
class Scene
{
public:
    void AddPlane(const SimPlane &plane) { m_planes.push_back(plane); }
    void AddBox(const SimBox &box) { m_boxes.push_back(box); }
    void AddSphere(const SimSphere &sphere) { m_spheres.push_back(sphere); }
    size_t ObjectCount() const { return m_planes.size() + m_boxes.size() + m_spheres.size(); }

    /// Ray-casts every pixel. Surfaces at or behind the camera (z <= 0) are not seen.
    SimRendering Render(const SimPinhole &camera, float maxDepthMm) const;
    /// Ray-casts every pixel of `lens` standing at `pose`: each pixel looks along the ray whose
    /// distorted projection is its centre. `rays` is lens.RayTable() when the caller keeps one, else
    /// empty (the rays are then worked out here).
    SimRendering Render(const SimLens &lens, const SimPose &pose, const SimRenderOptions &options,
                        const std::vector<double> &rays = {}) const;
    /// The ideal view through an undistorted pinhole at any pose: depth along that camera's optical
    /// axis, object and reflectivity per pixel.
    SimRendering RenderView(const SimPinhole &camera, const SimPose &pose, float maxDepthMm) const;
    /// Whether `point` (ToF coordinates, on a surface) is seen from the ToF camera's centre: nothing lies
    /// on the way to it nearer than its distance less `epsilonMm`.
    bool IsVisibleFromOrigin(const SimVector &point, double epsilonMm) const;

    /// Depth and reflectivity of the nearest surface along the ray (x, y, 1); false when none is hit.
    bool Cast(double x, double y, double &depthMm, float &reflectivity) const;

    /// The nearest surface along origin + t · direction (t > 0): its ray parameter and its object
    /// index, counted over the planes, then the boxes, then the spheres in the order they were added.
    /// False when nothing is hit.
    bool CastRay(const SimVector &origin, const SimVector &direction, double &t, int &object) const;
    /// The reflectivity of an object as CastRay counts it; 0 for an index it never returns.
    float Reflectivity(int object) const;

    /// A wall 7 m away with objects in front of it at distances that fall into every depth range: a
    /// sphere near 0.9 m, boxes near 1.6 m, 2.3 m and 2.9 m, a sphere near 3.5 m and a floor plane.
    static Scene Default();

    /// Supersampling beyond this many rays per axis is clamped to it.
    static constexpr int kMaxSamplesPerAxis = 8;

private:
    std::vector<SimPlane> m_planes;
    std::vector<SimBox> m_boxes;
    std::vector<SimSphere> m_spheres;
};
