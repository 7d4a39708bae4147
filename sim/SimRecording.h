// SPDX-License-Identifier: Apache-2.0
// SimRecording: what a raw recording says about the camera that made it: its identity from the file's
// header, its settings from the first status record and calibration block found in its buffers.
#pragma once

#include "SimSettings.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

/// Read once from a recording file; the buffers themselves are served by SimReplaySource.
class SimRecording
{
public:
    /// Reads the header and scans the buffers up to the first status record and calibration block.
    /// False with `error` set when the file is not a raw recording or its header is not JSON.
    bool Load(const std::string &path, std::string &error);

    const std::string &Serial() const { return m_serial; }
    const std::string &Uri() const { return m_uri; }
    const std::string &FirmwareVersion() const { return m_firmware; }
    bool HasStatus() const { return m_status.has_value(); }
    bool HasCalibration() const { return m_calibration.has_value(); }
    /// Records read while scanning (up to the first status and calibration, or all of them).
    uint64_t RecordsScanned() const { return m_recordsScanned; }

    /// Sets what the recording knows into `settings`: identity, and the status and calibration found.
    void ApplyTo(SimSettings &settings) const;

    /// The status record (0x2C) and calibration block (0x2E) of one stream buffer's payload, when it
    /// carries them whole. The buffer is walked sub-packet by sub-packet, as a camera writes it.
    static void FindRecords(const std::vector<uint8_t> &payload, std::optional<std::vector<uint8_t>> &status,
                            std::optional<std::vector<uint8_t>> &calibration);
    /// Decodes a status record into the settings it reports.
    static void ApplyStatus(const std::vector<uint8_t> &status, SimSettings &settings);
    /// Decodes a calibration block into the lenses, extrinsics, ranges and lists it reports.
    static void ApplyCalibration(const std::vector<uint8_t> &block, SimSettings &settings);

private:
    std::string m_serial;
    std::string m_uri;
    std::string m_firmware;
    int m_dataMode = -1;
    int m_depthRange = -1;
    std::optional<std::vector<uint8_t>> m_status;
    std::optional<std::vector<uint8_t>> m_calibration;
    uint64_t m_recordsScanned = 0;
};
