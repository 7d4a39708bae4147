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

/// What one rendering yields per pixel, row-major. A pixel that sees nothing, or sees its nearest
/// surface beyond the maximum depth, has depth 0 and reflectivity 0.
struct SimRendering
{
    int width = 0;
    int height = 0;
    std::vector<float> depthMm;      // along the optical axis
    std::vector<float> reflectivity; // of the surface hit, 0..1
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

private:
    std::vector<SimPlane> m_planes;
    std::vector<SimBox> m_boxes;
    std::vector<SimSphere> m_spheres;
};
