// SPDX-License-Identifier: Apache-2.0
// Ray casting of the simulated scene: plane, slab and sphere intersections along pinhole rays.
#include "Scene.h"

#include "SimLens.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

/// Along a ray (x, y, 1) the ray parameter is the depth on the optical axis, so every intersection
/// below yields depth directly.
constexpr double kNoHit = std::numeric_limits<double>::infinity();
constexpr double kParallel = 1e-12;

double Dot(const SimVector &a, const SimVector &b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

SimVector Minus(const SimVector &a, const SimVector &b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

double HitPlane(const SimPlane &plane, const SimVector &from, const SimVector &ray)
{
    const double denominator = Dot(plane.normal, ray);
    if (std::fabs(denominator) < kParallel) {
        return kNoHit;
    }
    const double t = (plane.offsetMm - Dot(plane.normal, from)) / denominator;
    return t > 0.0 ? t : kNoHit;
}

double HitBox(const SimBox &box, const SimVector &from, const SimVector &ray)
{
    double nearT = 0.0;
    double farT = kNoHit;
    const double origin[3] = {from.x, from.y, from.z};
    const double direction[3] = {ray.x, ray.y, ray.z};
    const double low[3] = {box.minMm.x, box.minMm.y, box.minMm.z};
    const double high[3] = {box.maxMm.x, box.maxMm.y, box.maxMm.z};
    for (int axis = 0; axis < 3; ++axis) {
        if (std::fabs(direction[axis]) < kParallel) {
            if (origin[axis] < low[axis] || origin[axis] > high[axis]) {
                return kNoHit;
            }
            continue;
        }
        double t0 = (low[axis] - origin[axis]) / direction[axis];
        double t1 = (high[axis] - origin[axis]) / direction[axis];
        if (t0 > t1) {
            std::swap(t0, t1);
        }
        nearT = std::max(nearT, t0);
        farT = std::min(farT, t1);
        if (nearT > farT) {
            return kNoHit;
        }
    }
    // A camera inside the box sees its far wall.
    const double t = nearT > 0.0 ? nearT : farT;
    return t > 0.0 ? t : kNoHit;
}

double HitSphere(const SimSphere &sphere, const SimVector &from, const SimVector &ray)
{
    const SimVector centre = Minus(sphere.centreMm, from);
    const double a = Dot(ray, ray);
    const double b = -2.0 * Dot(ray, centre);
    const double c = Dot(centre, centre) - sphere.radiusMm * sphere.radiusMm;
    const double discriminant = b * b - 4.0 * a * c;
    if (discriminant < 0.0) {
        return kNoHit;
    }
    const double root = std::sqrt(discriminant);
    const double t0 = (-b - root) / (2.0 * a);
    const double t1 = (-b + root) / (2.0 * a);
    if (t0 > 0.0) {
        return t0;
    }
    return t1 > 0.0 ? t1 : kNoHit;
}

} // namespace

SimPinhole SimPinhole::FromMatrix(const std::array<double, 9> &matrix, int width, int height)
{
    SimPinhole camera;
    camera.fx = matrix[0];
    camera.cx = matrix[2];
    camera.fy = matrix[4];
    camera.cy = matrix[5];
    camera.width = width;
    camera.height = height;
    return camera;
}

bool Scene::Cast(double x, double y, double &depthMm, float &reflectivity) const
{
    int object = -1;
    if (!CastRay(SimVector{}, SimVector{x, y, 1.0}, depthMm, object)) {
        return false;
    }
    reflectivity = Reflectivity(object);
    return true;
}

bool Scene::CastRay(const SimVector &origin, const SimVector &direction, double &t, int &object) const
{
    double best = kNoHit;
    int bestObject = -1;
    int index = 0;
    const auto consider = [&](double candidate) {
        if (candidate < best) {
            best = candidate;
            bestObject = index;
        }
        ++index;
    };
    for (const SimPlane &plane : m_planes) {
        consider(HitPlane(plane, origin, direction));
    }
    for (const SimBox &box : m_boxes) {
        consider(HitBox(box, origin, direction));
    }
    for (const SimSphere &sphere : m_spheres) {
        consider(HitSphere(sphere, origin, direction));
    }
    if (bestObject < 0) {
        return false;
    }
    t = best;
    object = bestObject;
    return true;
}

float Scene::Reflectivity(int object) const
{
    if (object < 0) {
        return 0.0f;
    }
    size_t index = static_cast<size_t>(object);
    if (index < m_planes.size()) {
        return m_planes[index].reflectivity;
    }
    index -= m_planes.size();
    if (index < m_boxes.size()) {
        return m_boxes[index].reflectivity;
    }
    index -= m_boxes.size();
    return index < m_spheres.size() ? m_spheres[index].reflectivity : 0.0f;
}

SimRendering Scene::Render(const SimPinhole &camera, float maxDepthMm) const
{
    SimRendering rendering;
    const bool valid = camera.width > 0 && camera.height > 0 && camera.fx != 0.0 && camera.fy != 0.0;
    if (!valid) {
        return rendering;
    }
    rendering.width = camera.width;
    rendering.height = camera.height;
    const size_t pixels = static_cast<size_t>(camera.width) * static_cast<size_t>(camera.height);
    rendering.depthMm.assign(pixels, 0.0f);
    rendering.reflectivity.assign(pixels, 0.0f);
    rendering.object.assign(pixels, -1);
    for (int v = 0; v < camera.height; ++v) {
        const double y = (v - camera.cy) / camera.fy;
        for (int u = 0; u < camera.width; ++u) {
            const double x = (u - camera.cx) / camera.fx;
            double depthMm = 0.0;
            int object = -1;
            if (!CastRay(SimVector{}, SimVector{x, y, 1.0}, depthMm, object) || depthMm > maxDepthMm) {
                continue;
            }
            const size_t i =
                static_cast<size_t>(v) * static_cast<size_t>(camera.width) + static_cast<size_t>(u);
            rendering.depthMm[i] = static_cast<float>(depthMm);
            rendering.reflectivity[i] = Reflectivity(object);
            rendering.object[i] = static_cast<int16_t>(object);
        }
    }
    return rendering;
}

namespace {

/// A camera at a pose, seen from the scene: its centre and the rotation back into scene coordinates.
struct ViewFrame
{
    SimVector origin;
    std::array<double, 9> r;

    explicit ViewFrame(const SimPose &pose) : r(pose.rotation)
    {
        // Xc = R X + t gives X = R^T (Xc - t): the centre is -R^T t and a ray d runs along R^T d, with
        // the camera's depth as its parameter when d has z = 1.
        const std::array<double, 3> &t = pose.translationMm;
        origin = {-(r[0] * t[0] + r[3] * t[1] + r[6] * t[2]), -(r[1] * t[0] + r[4] * t[1] + r[7] * t[2]),
                  -(r[2] * t[0] + r[5] * t[1] + r[8] * t[2])};
    }

    SimVector Direction(double x, double y) const
    {
        return {r[0] * x + r[3] * y + r[6], r[1] * x + r[4] * y + r[7], r[2] * x + r[5] * y + r[8]};
    }
};

/// What one ray measured.
struct Sample
{
    float measuredMm = 0.0f;
    float axialMm = 0.0f;
    float reflectivity = 0.0f;
    int object = -1;
};

Sample Shoot(const Scene &scene, const ViewFrame &frame, const SimRenderOptions &options, double x, double y)
{
    Sample sample;
    double depthMm = 0.0;
    int object = -1;
    if (!scene.CastRay(frame.origin, frame.Direction(x, y), depthMm, object)) {
        return sample;
    }
    const double measuredMm = options.radial ? depthMm * std::sqrt(x * x + y * y + 1.0) : depthMm;
    if (measuredMm > options.maxDepthMm) {
        return sample;
    }
    sample.measuredMm = static_cast<float>(measuredMm);
    sample.axialMm = static_cast<float>(depthMm);
    sample.reflectivity = scene.Reflectivity(object);
    sample.object = object;
    return sample;
}

} // namespace

SimRendering Scene::Render(const SimLens &lens, const SimPose &pose, const SimRenderOptions &options,
                           const std::vector<double> &rays) const
{
    SimRendering rendering;
    const SimPinhole &camera = lens.pinhole;
    const int samples = std::clamp(options.samplesPerAxis, 1, kMaxSamplesPerAxis);
    if (camera.width <= 0 || camera.height <= 0 || camera.fx == 0.0 || camera.fy == 0.0) {
        return rendering;
    }
    rendering.width = camera.width;
    rendering.height = camera.height;
    rendering.radial = options.radial;
    rendering.samplesPerAxis = samples;
    const size_t pixels = static_cast<size_t>(camera.width) * static_cast<size_t>(camera.height);
    const size_t perPixel = static_cast<size_t>(samples) * static_cast<size_t>(samples);
    rendering.depthMm.assign(pixels, 0.0f);
    rendering.reflectivity.assign(pixels, 0.0f);
    rendering.object.assign(pixels, -1);
    if (options.radial) {
        rendering.axialDepthMm.assign(pixels, 0.0f);
    }
    if (samples > 1) {
        rendering.sampleDepthMm.assign(pixels * perPixel, 0.0f);
        rendering.sampleReflectivity.assign(pixels * perPixel, 0.0f);
    }
    const bool table = rays.size() == 2 * pixels;
    const ViewFrame frame(pose);
    size_t i = 0;
    for (int v = 0; v < camera.height; ++v) {
        for (int u = 0; u < camera.width; ++u, ++i) {
            double x = table ? rays[2 * i] : 0.0;
            double y = table ? rays[2 * i + 1] : 0.0;
            if (table ? !std::isnan(x) : lens.Ray(u, v, x, y)) {
                const Sample centre = Shoot(*this, frame, options, x, y);
                rendering.depthMm[i] = centre.measuredMm;
                rendering.reflectivity[i] = centre.reflectivity;
                rendering.object[i] = static_cast<int16_t>(centre.object);
                if (options.radial) {
                    rendering.axialDepthMm[i] = centre.axialMm;
                }
            }
            for (size_t k = 0; samples > 1 && k < perPixel; ++k) {
                const double du = (static_cast<double>(k % samples) + 0.5) / samples - 0.5;
                const double dv = (static_cast<double>(k / samples) + 0.5) / samples - 0.5;
                if (lens.Ray(u + du, v + dv, x, y)) {
                    const Sample sample = Shoot(*this, frame, options, x, y);
                    rendering.sampleDepthMm[i * perPixel + k] = sample.measuredMm;
                    rendering.sampleReflectivity[i * perPixel + k] = sample.reflectivity;
                }
            }
        }
    }
    return rendering;
}

SimRendering Scene::RenderView(const SimPinhole &camera, const SimPose &pose, float maxDepthMm) const
{
    SimLens lens;
    lens.pinhole = camera;
    SimRenderOptions options;
    options.maxDepthMm = maxDepthMm;
    return Render(lens, pose, options);
}

bool Scene::IsVisibleFromOrigin(const SimVector &point, double epsilonMm) const
{
    const double distanceMm = std::sqrt(Dot(point, point));
    double t = 0.0;
    int object = -1;
    if (distanceMm <= 0.0 || !CastRay(SimVector{}, point, t, object)) {
        return false;
    }
    return t * distanceMm >= distanceMm - epsilonMm;
}

Scene Scene::Default()
{
    Scene scene;
    scene.AddPlane(SimPlane{{0.0, 0.0, 1.0}, 7000.0, 0.9f}); // the wall
    scene.AddPlane(SimPlane{{0.0, 1.0, 0.0}, 1200.0, 0.5f}); // the floor, 1.2 m below the camera
    scene.AddSphere(SimSphere{{-250.0, -120.0, 1050.0}, 150.0, 0.8f});
    scene.AddBox(SimBox{{150.0, -300.0, 1600.0}, {500.0, 100.0, 1900.0}, 0.7f});
    scene.AddBox(SimBox{{-900.0, -200.0, 2300.0}, {-400.0, 400.0, 2600.0}, 0.6f});
    scene.AddBox(SimBox{{600.0, -700.0, 2900.0}, {1200.0, 0.0, 3200.0}, 0.8f});
    scene.AddSphere(SimSphere{{0.0, 500.0, 3900.0}, 400.0, 0.7f});
    return scene;
}
