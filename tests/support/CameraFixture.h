// SPDX-License-Identifier: Apache-2.0
// The fixture of the session integration tests: an initialised library, in-process simulated cameras
// that serve their connections, and helpers to open them and read their frames through the public API.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "CameraSimulator.h"
#include "HotPlugRecorder.h"
#include "Orvane_api.h"

namespace orvtest {

/// Generous bound for anything that takes a few manager rounds or a setter's confirmation.
constexpr unsigned kCameraWaitMs = 8000;

/// TfFrameReady bits.
constexpr uint32_t kReadyDepth = 1;
constexpr uint32_t kReadyIr = 2;
constexpr uint32_t kReadyColor = 4;
constexpr uint32_t kReadyConfidence = 64;
constexpr uint32_t kReadyAllFour = kReadyDepth | kReadyIr | kReadyColor | kReadyConfidence;

/// Milliseconds since `since` on the steady clock.
inline long ElapsedMs(std::chrono::steady_clock::time_point since)
{
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since)
            .count());
}

/// The frames of one synchronised read, copied out of the library's slots.
struct FrameSet
{
    uint32_t readyBits = 0; ///< TfFrameReady as an integer
    std::vector<TfFrame> frames;
    const TfFrame *Find(uint32_t type) const;
};

/// The drop counters of a handle, read through the property interface (all zero when they cannot be).
TfDropCounters ReadDropCounters(TfDeviceHandle device);

class CameraFixture : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    /// Adds a serving camera with the given serial number on 127.0.0.<hostByte> (100 to 139).
    SimCamera &AddCamera(const std::string &serial, unsigned hostByte, const std::string &alias = "");
    /// Starts the simulator and waits until every added camera is listed.
    void StartCameras();
    /// Adds a camera sending light buffers (camera-computed depth, no colour) every 5 ms and starts the
    /// simulator: its opens and first sets are quick, also in sanitized builds.
    void StartLightCamera(const std::string &serial, unsigned hostByte);
    static std::string Uri(const std::string &serial) { return "KR52Lite:" + serial; }

    /// Opens by URI and remembers the handle so that TearDown closes it.
    TfDeviceHandle Open(const std::string &serial);
    /// Closes a handle opened with Open (no effect on a null handle).
    void Close(TfDeviceHandle &device);

    /// Reads until a set holds every type in `wantBits` (TfFrameReady bits) or `timeoutMs` passes.
    static bool ReadSet(TfDeviceHandle device, uint32_t wantBits, FrameSet &set, unsigned timeoutMs = 3000);

    /// The log written since the last call of MarkLog (or since the test began).
    std::string LogSinceMark() const;
    void MarkLog();
    /// The numbers logged as "<key><number>" since the mark, in order.
    std::vector<long> LoggedNumbers(const std::string &key) const;

    std::unique_ptr<HotPlugRecorder> m_recorder;
    std::unique_ptr<CameraSimulator> m_sim;

private:
    std::vector<SimCamera *> m_cameras;
    std::vector<TfDeviceHandle> m_open;
    size_t m_logMark = 0;
};

} // namespace orvtest
