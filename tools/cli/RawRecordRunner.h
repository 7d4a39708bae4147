// SPDX-License-Identifier: Apache-2.0
// RawRecordRunner: `record --raw FILE [-t S]`: the camera's stream buffers written by the library, as
// received, for replay through the simulator.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "Orvane_api.h"

namespace orvane::cli {

class CliContext;

class RawRecordRunner
{
public:
    /// `seconds` 0 records until Ctrl-C.
    RawRecordRunner(std::string path, double seconds) : m_path(std::move(path)), m_seconds(seconds) {}

    /// Opens the camera, starts its stream and the recording, waits -t seconds or for Ctrl-C, stops the
    /// recording and prints what it wrote. kExitOk (130 after Ctrl-C, set by the caller), or
    /// kExitCameraError when the recording cannot start or a write failed.
    int Run(CliContext &context);
    /// The recording's status as last read.
    const TfRawRecordingStatus &Status() const { return m_status; }

    /// The summary as a JSON record and as a line of text.
    static nlohmann::json SummaryRecord(const std::string &path, const TfRawRecordingStatus &status);
    static std::string SummaryLine(const std::string &path, const TfRawRecordingStatus &status);

private:
    int ReadStatus(CliContext &context);

    std::string m_path;
    double m_seconds;
    TfRawRecordingStatus m_status{};
};

} // namespace orvane::cli
