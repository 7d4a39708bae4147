// SPDX-License-Identifier: Apache-2.0
// SessionModeLists: the data modes, depth ranges and measuring-range records a camera offers, as a
// session knows them.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "pipeline/DeviceStatus.h"
#include "protocol/ProtocolTypes.h"

/// The camera's data-mode list and depth-range list (a count byte, then the entries) and the measuring
/// range of each depth range. They start from defaults and are replaced by what the camera reports, in
/// its calibration block or in answers to queries; a count beyond a list is clamped to it.
class SessionModeLists
{
public:
    /// Capacities of the lists (count byte included).
    static constexpr int kDepthRangeListBytes = 10;
    static constexpr int kDataModeListBytes = 33;
    /// Depth ranges 0 to 5 have a measuring-range record.
    static constexpr int kMeasuringRangeCount = 6;

    using DepthRangeList = std::array<uint8_t, kDepthRangeListBytes>;
    using DataModeList = std::array<uint8_t, kDataModeListBytes>;

    /// Empty lists; each range's record reaches to its wrap-around distance.
    SessionModeLists();

    /// The lists of a network camera until it reports its own: ranges 0 to 5, modes 1, 2, 3, 5, 6, 7,
    /// 9 and 10.
    void SetNetworkDefaults();
    /// Keeps the lists and the measuring ranges a calibration block carries (a list with count 0, or a
    /// record with a zero far limit, leaves the session's as it is).
    void TakeBlock(const InitCameraParams &block);

    DataModeList &DataModes() { return m_dataModes; }
    const DataModeList &DataModes() const { return m_dataModes; }
    DepthRangeList &DepthRanges() { return m_depthRanges; }
    const DepthRangeList &DepthRanges() const { return m_depthRanges; }
    std::vector<MeasuringRange> &MeasuringRanges() { return m_measuringRanges; }
    const std::vector<MeasuringRange> &MeasuringRanges() const { return m_measuringRanges; }

    int DataModeCount() const { return m_dataModes[0]; }
    int DepthRangeCount() const { return m_depthRanges[0]; }
    /// The wrap-around distance of a depth range in millimetres (0, with a log line, for a range outside
    /// 0 to 5).
    static int GetSonyMaxDepth(int range);

    /// Whether the data-mode list holds `mode` (never, while the list is empty).
    bool IsDataModeValid(int mode) const;
    /// Whether the depth-range list holds `range` (always, while the list is empty).
    bool IsRangeValid(int range) const;

private:
    DepthRangeList m_depthRanges{};
    DataModeList m_dataModes{};
    std::vector<MeasuringRange> m_measuringRanges; // one record per depth range
};
