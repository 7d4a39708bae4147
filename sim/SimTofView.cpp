// SPDX-License-Identifier: Apache-2.0
// The simulated ToF camera's view: when to render again, through which rays, and the truth it keeps.
#include "SimTofView.h"

bool SimTofView::Refresh(const Scene &scene, uint64_t sceneVersion, const SimLens &lens,
                         const SimGeometryOptions &options)
{
    if (m_rendered && sceneVersion == m_sceneVersion && lens == m_lens && options == m_options) {
        return false;
    }
    if (!lens.HasDistortion() && options.mixedSamplesPerAxis <= 1 && !options.radialDepth) {
        // The ideal pinhole, exactly as the camera has always rendered it.
        m_rendering = scene.Render(lens.pinhole, RawTofEncoder::kComputedMaxDepthMm);
        m_rays.clear();
    } else {
        if (!lens.HasDistortion()) {
            m_rays.clear();
        } else if (m_rays.empty() || lens != m_lens) {
            m_rays = lens.RayTable();
        }
        SimRenderOptions render;
        render.maxDepthMm = RawTofEncoder::kComputedMaxDepthMm;
        render.radial = options.radialDepth;
        render.samplesPerAxis = options.mixedSamplesPerAxis;
        m_rendering = scene.Render(lens, SimPose{}, render, m_rays);
    }
    m_geometry.reset();
    if (options.geometryTruth) {
        auto geometry = std::make_shared<SimTofGeometryTruth>();
        geometry->object = m_rendering.object;
        geometry->axialDepthMm = m_rendering.radial ? m_rendering.axialDepthMm : m_rendering.depthMm;
        m_geometry = std::move(geometry);
    }
    m_rendered = true;
    m_sceneVersion = sceneVersion;
    m_lens = lens;
    m_options = options;
    return true;
}
