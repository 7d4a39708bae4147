// SPDX-License-Identifier: Apache-2.0
// One opened camera, closed on destruction (its stream stopped first when it was started).
#pragma once

#include <string>

#include "Orvane_api.h"

namespace orvane::cli {

class CameraScope
{
public:
    CameraScope(TfDeviceHandle handle, const TfDeviceInfo &info, std::string ip);
    ~CameraScope();
    CameraScope(const CameraScope &) = delete;
    CameraScope &operator=(const CameraScope &) = delete;

    TfDeviceHandle Handle() const { return m_handle; }
    const TfDeviceInfo &Info() const { return m_info; }
    const std::string &Ip() const { return m_ip; }
    /// Starts the stream; it is stopped again before the camera is closed.
    int StartStream();
    int StopStream();

private:
    TfDeviceHandle m_handle;
    TfDeviceInfo m_info;
    std::string m_ip;
    bool m_streaming = false;
};

} // namespace orvane::cli
