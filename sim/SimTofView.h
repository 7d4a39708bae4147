// SPDX-License-Identifier: Apache-2.0
// The simulated ToF camera's view of its scene: the rendering its frames are encoded from, redone only
// when the scene, the calibrated lens or the rendering options change.
#pragma once

#include "RawTofEncoder.h"
#include "Scene.h"
#include "SimLens.h"

#include <cstdint>
#include <memory>
#include <vector>

/// How the camera renders its ToF view, and which truth it keeps for tests.
struct SimGeometryOptions
{
    /// N > 1: each ToF pixel sees an N x N grid of sub-pixel rays and measures their mean phasor, so
    /// that a pixel on an edge reports a depth between the two surfaces. 1: one ray per pixel.
    int mixedSamplesPerAxis = 1;
    /// The camera measures the distance along each pixel's ray instead of the depth along the axis.
    bool radialDepth = false;
    /// The truth of every frame carries per-pixel geometry (SimTofTruth::geometry,
    /// SimColorTruth::geometry). Off by default: it costs memory and, for colour, time.
    bool geometryTruth = false;

    bool operator==(const SimGeometryOptions &other) const
    {
        return mixedSamplesPerAxis == other.mixedSamplesPerAxis && radialDepth == other.radialDepth &&
               geometryTruth == other.geometryTruth;
    }
    bool operator!=(const SimGeometryOptions &other) const { return !(*this == other); }
};

/// Keeps one rendering of the scene through the ToF lens. A lens with distortion has its rays worked
/// out once (SimLens::RayTable) and kept while the lens stays; without distortion, mixed pixels or
/// radial distance the rendering is the ideal pinhole's, exactly as Scene::Render(SimPinhole) gives it.
/// Not thread-safe: it belongs to the stream thread.
class SimTofView
{
public:
    /// Renders anew when the scene version, the lens or the options differ from the last rendering;
    /// true when it did.
    bool Refresh(const Scene &scene, uint64_t sceneVersion, const SimLens &lens,
                 const SimGeometryOptions &options);

    const SimRendering &Rendering() const { return m_rendering; }
    /// The rendering's per-pixel truth; null unless the options ask for it.
    const std::shared_ptr<const SimTofGeometryTruth> &Geometry() const { return m_geometry; }

private:
    bool m_rendered = false;
    uint64_t m_sceneVersion = 0;
    SimLens m_lens;
    SimGeometryOptions m_options;
    SimRendering m_rendering;
    std::vector<double> m_rays; // m_lens.RayTable() when it has distortion
    std::shared_ptr<const SimTofGeometryTruth> m_geometry;
};
