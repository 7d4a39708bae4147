// SPDX-License-Identifier: Apache-2.0
// RawRecordRunner: starts and stops the library's raw recording through its property key.
#include "RawRecordRunner.h"

#include <chrono>
#include <cstring>

#include "CliContext.h"
#include "ExitCodes.h"
#include "Interrupt.h"

namespace orvane::cli {
namespace {
constexpr std::chrono::milliseconds kPollPeriod{200};
} // namespace

nlohmann::json RawRecordRunner::SummaryRecord(const std::string &path, const TfRawRecordingStatus &status)
{
    return {{"file", path},
            {"buffers", status.buffersWritten},
            {"bytes", status.bytesWritten},
            {"dropped", status.buffersDropped},
            {"writeError", status.writeError}};
}

std::string RawRecordRunner::SummaryLine(const std::string &path, const TfRawRecordingStatus &status)
{
    std::string line = path + ": " + std::to_string(status.buffersWritten) + " buffers, " +
                       std::to_string(status.bytesWritten) + " bytes, " +
                       std::to_string(status.buffersDropped) + " dropped";
    if (status.writeError != 0) {
        line += ", write error: " + std::string(std::strerror(status.writeError));
    }
    return line;
}

int RawRecordRunner::ReadStatus(CliContext &context)
{
    int32_t size = sizeof m_status;
    const int status =
        TFCM_GetProperty(context.Camera().Handle(), TF_PROPERTY_EXT_RAW_RECORDING, &m_status, &size);
    return status == TF_OK ? kExitOk : context.Fail("reading the raw recording's status", status);
}

int RawRecordRunner::Run(CliContext &context)
{
    if (const int code = context.OpenCamera(); code != kExitOk) {
        return code;
    }
    const TfDeviceHandle device = context.Camera().Handle();
    if (const int status = context.Camera().StartStream(); status != TF_OK) {
        return context.Fail("starting the stream", status);
    }
    const int started = TFCM_SetProperty(device, TF_PROPERTY_EXT_RAW_RECORDING, m_path.c_str(),
                                         static_cast<int32_t>(m_path.size() + 1));
    if (started != TF_OK) {
        ReadStatus(context);
        if (m_status.writeError != 0) {
            context.Out().Message(m_path + ": " + std::strerror(m_status.writeError));
        }
        return context.Fail("starting the raw recording", started);
    }
    context.Out().Verbose(1, "recording raw buffers to " + m_path);
    const auto deadline =
        std::chrono::steady_clock::now() +
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::duration<double>(m_seconds));
    while (!Interrupt::WaitFor(kPollPeriod)) {
        if (m_seconds > 0 && std::chrono::steady_clock::now() >= deadline) {
            break;
        }
        int32_t size = sizeof m_status;
        if (TFCM_GetProperty(device, TF_PROPERTY_EXT_RAW_RECORDING, &m_status, &size) == TF_OK &&
            m_status.active == 0) {
            break; // a write failed: the library has stopped writing
        }
    }
    const int stopped = TFCM_SetProperty(device, TF_PROPERTY_EXT_RAW_RECORDING, "", 1);
    if (const int code = ReadStatus(context); code != kExitOk) {
        return code;
    }
    context.Out().Emit(SummaryRecord(m_path, m_status), SummaryLine(m_path, m_status));
    if (stopped != TF_OK) {
        return context.Fail("stopping the raw recording", stopped);
    }
    if (m_status.writeError != 0) {
        context.Out().Message(m_path +
                              ": the recording stopped early: " + std::strerror(m_status.writeError));
        return kExitCameraError;
    }
    return kExitOk;
}

} // namespace orvane::cli
