// SPDX-License-Identifier: Apache-2.0
// The camera simulator: camera ownership and the periodic announcement thread.
#include "CameraSimulator.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <utility>

CameraSimulator::CameraSimulator() : CameraSimulator(Options{})
{
}

CameraSimulator::CameraSimulator(Options options) : m_options(std::move(options))
{
}

CameraSimulator::~CameraSimulator()
{
    Stop();
}

SimCamera &CameraSimulator::AddCamera(const SimCameraConfig &config)
{
    auto camera = std::make_unique<SimCamera>(config, m_options.discoveryAddress, m_options.discoveryPort);
    SimCamera &added = *camera;
    added.SetUpgradeOptions(m_options.upgrade);
    std::lock_guard<std::mutex> lifecycle(m_lifecycleMutex);
    if (m_running && m_options.serveConnections) {
        added.StartServing();
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cameras.push_back(std::move(camera));
    return added;
}

size_t CameraSimulator::CameraCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_cameras.size();
}

SimCamera &CameraSimulator::Camera(size_t index)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (index >= m_cameras.size()) {
        throw std::out_of_range("no simulated camera " + std::to_string(index));
    }
    return *m_cameras[index];
}

SimCamera *CameraSimulator::FindCamera(const std::string &serial)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const auto &camera : m_cameras) {
        if (camera->Config().serial == serial) {
            return camera.get();
        }
    }
    return nullptr;
}

void CameraSimulator::Start()
{
    std::lock_guard<std::mutex> lifecycle(m_lifecycleMutex);
    if (m_thread.joinable()) {
        return;
    }
    std::vector<SimCamera *> cameras;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopRequested = false;
        m_running = true;
        for (const auto &camera : m_cameras) {
            cameras.push_back(camera.get());
        }
    }
    if (m_options.serveConnections) {
        for (SimCamera *camera : cameras) {
            camera->StartServing();
        }
    }
    m_thread = std::thread(&CameraSimulator::Run, this);
}

void CameraSimulator::Stop()
{
    std::lock_guard<std::mutex> lifecycle(m_lifecycleMutex);
    if (!m_thread.joinable()) {
        return;
    }
    std::vector<SimCamera *> cameras;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopRequested = true;
        m_running = false;
        for (const auto &camera : m_cameras) {
            cameras.push_back(camera.get());
        }
    }
    m_wake.notify_all();
    m_thread.join();
    for (SimCamera *camera : cameras) {
        camera->StopServing();
    }
}

bool CameraSimulator::IsRunning() const
{
    std::lock_guard<std::mutex> lifecycle(m_lifecycleMutex);
    return m_thread.joinable();
}

bool CameraSimulator::WaitForAnnouncements(size_t index, uint64_t count, unsigned timeoutMs)
{
    SimCamera *camera = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (index >= m_cameras.size()) {
            return false;
        }
        camera = m_cameras[index].get();
    }
    return camera->WaitForAnnouncements(count, timeoutMs);
}

void CameraSimulator::Run()
{
    const auto period = std::chrono::milliseconds(std::max(1u, m_options.announcePeriodMs));
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stopRequested) {
        // Each round starts one period after the previous one started, so rounds never come closer
        // together than the period even when the thread wakes late.
        const auto roundStart = std::chrono::steady_clock::now();
        std::vector<SimCamera *> cameras;
        cameras.reserve(m_cameras.size());
        for (const auto &camera : m_cameras) {
            cameras.push_back(camera.get());
        }
        lock.unlock();
        for (SimCamera *camera : cameras) {
            camera->AnnounceIfEnabled();
        }
        lock.lock();
        m_wake.wait_until(lock, roundStart + period, [this] { return m_stopRequested; });
    }
}
