// SPDX-License-Identifier: Apache-2.0
// What a running subcommand works with: the common options, the output, and the library and camera
// it opens through them.
#include "CliContext.h"

#include <chrono>
#include <cstdio>
#include <vector>

#include "DeviceText.h"
#include "ExitCodes.h"
#include "Interrupt.h"
#include "StatusNames.h"
#include "StreamChoice.h"

namespace orvane::cli {

int CliContext::InitLibrary()
{
    if (m_library) {
        return kExitOk;
    }
    m_library = std::make_unique<LibraryScope>();
    if (m_library->Status() != TF_OK) {
        const int status = m_library->Status();
        m_library.reset();
        return Fail("TFCM_Initialize", status);
    }
    return kExitOk;
}

std::optional<TfDeviceInfo> CliContext::FindListed() const
{
    uint32_t count = 0;
    if (TFCM_GetDeviceCount(&count) != TF_OK || count == 0) {
        return std::nullopt;
    }
    std::vector<TfDeviceInfo> list(count);
    if (TFCM_GetDeviceListInfo(list.data(), count) != TF_OK) {
        return std::nullopt;
    }
    for (const TfDeviceInfo &info : list) {
        if (info.status == TF_CONNECT_REMOVED || info.status == TF_CONNECT_LOST) {
            continue;
        }
        if (!m_options.ip.empty()) {
            char ip[16] = {};
            if (TFCM_GetDeviceIP(info.uri, ip) == TF_OK && FieldText(ip, sizeof ip) == m_options.ip) {
                return info;
            }
            continue;
        }
        const bool uriMatches =
            m_options.uri.empty() || FieldText(info.uri, sizeof info.uri) == m_options.uri;
        const bool aliasMatches =
            m_options.alias.empty() || FieldText(info.alias, sizeof info.alias) == m_options.alias;
        if (uriMatches && aliasMatches) {
            return info;
        }
    }
    return std::nullopt;
}

int CliContext::OpenCamera()
{
    if (m_camera) {
        return kExitOk;
    }
    if (const int code = InitLibrary(); code != kExitOk) {
        return code;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_options.waitMs);
    int lastStatus = TF_OK;
    for (;;) {
        TfDeviceHandle handle = nullptr;
        TfDeviceInfo info{};
        if (!m_options.ip.empty()) {
            // By address: the camera need not be listed under any particular name.
            lastStatus = TFCM_OpenDeviceByIP(m_options.ip.c_str(), &handle);
            if (lastStatus == TF_OK) {
                if (const auto listed = FindListed()) {
                    info = *listed;
                } else {
                    std::snprintf(info.uri, sizeof info.uri, "%s", m_options.ip.c_str());
                }
            }
        } else if (const auto listed = FindListed()) {
            info = *listed;
            lastStatus = TFCM_OpenDevice(info.uri, &handle);
        }
        if (lastStatus == TF_OK && handle != nullptr) {
            char ip[16] = {};
            std::string address = m_options.ip;
            if (address.empty() && TFCM_GetDeviceIP(info.uri, ip) == TF_OK) {
                address = FieldText(ip, sizeof ip);
            }
            m_camera = std::make_unique<CameraScope>(handle, info, address);
            m_output.Verbose(1, "opened " + FieldText(info.uri, sizeof info.uri));
            return kExitOk;
        }
        if (lastStatus == TF_ERROR_ALREADY_OPENED) {
            return Fail("open", lastStatus);
        }
        if (Interrupt::Requested()) {
            return kExitInterrupted;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            break;
        }
        Interrupt::WaitFor(std::chrono::milliseconds(100));
    }
    std::string wanted = "any camera";
    if (!m_options.uri.empty()) {
        wanted = "camera " + m_options.uri;
    } else if (!m_options.alias.empty()) {
        wanted = "camera with alias " + m_options.alias;
    } else if (!m_options.ip.empty()) {
        wanted = "camera at " + m_options.ip;
    }
    m_output.Message("no " + wanted + " within " + std::to_string(m_options.waitMs) + " ms" +
                     (lastStatus != TF_OK ? " (last open: " + StatusName(lastStatus) + ")" : ""));
    return kExitNoCamera;
}

int CliContext::OpenCamera(const std::vector<std::string> &streams)
{
    if (const int code = OpenCamera(); code != kExitOk) {
        return code;
    }
    std::string failed;
    if (const int status = StreamChoice::Apply(m_camera->Handle(), streams, failed); status != TF_OK) {
        return Fail(failed, status);
    }
    return kExitOk;
}

void CliContext::Close()
{
    m_camera.reset();
    m_library.reset();
}

int CliContext::Fail(const std::string &what, int status)
{
    m_output.Message(what + ": " + StatusName(status) + " (" + std::to_string(status) + ")");
    return kExitCameraError;
}

} // namespace orvane::cli
