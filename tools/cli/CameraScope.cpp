// SPDX-License-Identifier: Apache-2.0
// One opened camera, closed on destruction (its stream stopped first when it was started).
#include "CameraScope.h"

#include <utility>

namespace orvane::cli {

CameraScope::CameraScope(TfDeviceHandle handle, const TfDeviceInfo &info, std::string ip)
    : m_handle(handle), m_info(info), m_ip(std::move(ip))
{
}

CameraScope::~CameraScope()
{
    StopStream();
    TFCM_CloseDevice(&m_handle);
}

int CameraScope::StartStream()
{
    const int status = TFCM_StartStream(m_handle);
    m_streaming = m_streaming || status == TF_OK;
    return status;
}

int CameraScope::StopStream()
{
    if (!m_streaming) {
        return TF_OK;
    }
    m_streaming = false;
    return TFCM_StopStream(m_handle);
}

} // namespace orvane::cli
