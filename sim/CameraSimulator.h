// SPDX-License-Identifier: Apache-2.0
// The camera simulator: owns the simulated cameras, the thread that announces them periodically and
// the serving of their connections.
#pragma once

#include "SimCamera.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

/// Simulated cameras on loopback addresses. Every method may be called from any thread.
class CameraSimulator
{
public:
    struct Options
    {
        std::string discoveryAddress = "127.0.0.1";
        uint16_t discoveryPort = 9007;
        unsigned announcePeriodMs = 1000;
        /// Serve every camera's command and data connections between Start and Stop; when false the
        /// cameras only announce themselves.
        bool serveConnections = true;
        /// Given to every camera added (server port, reboot delay...).
        SimUpgradeOptions upgrade;
    };

    // Two constructors rather than a default argument: GCC cannot use Options' member initialisers
    // before the enclosing class is complete.
    CameraSimulator();
    explicit CameraSimulator(Options options);
    /// Stops the thread; the cameras then close their sockets.
    ~CameraSimulator();
    CameraSimulator(const CameraSimulator &) = delete;
    CameraSimulator &operator=(const CameraSimulator &) = delete;

    /// The returned reference stays valid for the simulator's life. A camera added while the simulator
    /// runs announces from the next period on.
    SimCamera &AddCamera(const SimCameraConfig &config);
    size_t CameraCount() const;
    /// Throws std::out_of_range for an index past the last camera.
    SimCamera &Camera(size_t index);
    /// The camera with this serial number, or nullptr.
    SimCamera *FindCamera(const std::string &serial);

    /// Starts announcing every camera once per period, the first round at once, and serving their
    /// connections; no effect when running. A camera that cannot serve reports it in LastError().
    void Start();
    /// Returns promptly: the thread is woken, not waited out, and every connection is closed. No
    /// effect when stopped.
    void Stop();
    bool IsRunning() const;

    /// Waits until camera `index` has sent at least `count` announcements in total; false on time-out
    /// or for an unknown index.
    bool WaitForAnnouncements(size_t index, uint64_t count, unsigned timeoutMs);

private:
    void Run();

    const Options m_options;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;                    // signalled under m_mutex when m_stopRequested is set
    std::vector<std::unique_ptr<SimCamera>> m_cameras; // guarded by m_mutex; never shrinks
    bool m_stopRequested = false;                      // guarded by m_mutex
    // Serialises Start and Stop so that a join never races another start; taken before m_mutex.
    mutable std::mutex m_lifecycleMutex;
    std::thread m_thread;   // guarded by m_lifecycleMutex
    bool m_running = false; // guarded by m_lifecycleMutex and m_mutex (either suffices to read)
};
