// SPDX-License-Identifier: Apache-2.0
// SessionProperties: the property keys a session answers itself, and those it hands to the camera.
#include "session/SessionProperties.h"

#include <algorithm>
#include <cstring>

#include "pipeline/ImageProc.h"
#include "protocol/PropertyKeys.h"
#include "runtime/LogCustom.h"
#include "session/BaseSession.h"
#include "session/SessionGuards.h"

namespace {
/// Keys the session hands to the camera's GetProperty as they are.
bool IsForwardedQuery(int key)
{
    return key == kSessionStatus || key == kSessionTalDelay || (key >= kSession11 && key <= kSession19) ||
           key == kSessionHeartbeat || (key >= kSessionDebugFirst && key <= kSessionDebugLast);
}
} // namespace

void SessionProperties::Attach(BaseProtocol *protocol, ImageProc *pipeline)
{
    m_protocol = protocol;
    m_imageProc = pipeline;
}

int SessionProperties::SetProperty(int key, const void *data, int size)
{
    switch (key) {
    case kSessionEnterJsonMode:
        // The caller hands the status callback itself as the data pointer.
        return m_session.EnterJsonConfigMode(
            reinterpret_cast<TfUpgradeStatusCallback>(const_cast<void *>(data)));
    case kSessionStartJsonUpgrade:
        // The path must end inside the value the caller handed over.
        if (data != nullptr && size > 0 &&
            strnlen(static_cast<const char *>(data), size) == static_cast<size_t>(size)) {
            TFLOG("invalid json path.");
            return SessionUpgrade::kJsonFailed;
        }
        return m_session.StartUpgradeJson(static_cast<const char *>(data));
    case kKeyRawRecording: {
        // The caller hands the request (path and header text) itself; an empty path stops.
        REQUIRE_PIPELINE();
        if (data == nullptr) {
            return kStatusNullPointer;
        }
        const auto &request = *static_cast<const RawRecordingRequest *>(data);
        if (request.path.empty()) {
            m_imageProc->StopRawRecording();
            return kStatusOk;
        }
        const int ret = m_imageProc->StartRawRecording(request);
        if (ret == kStatusOk && m_protocol != nullptr) {
            // The camera sends its calibration block again, so that the recording carries it.
            m_protocol->SendCameraParamsEnable(true);
        }
        return ret;
    }
    case kSessionTemperatureOffset: {
        if (data == nullptr || size < 1) {
            TFLOG("invalid param: size:%d", size);
            return kStatusNullPointer;
        }
        m_filters.SetTemperatureOffsetEnabled(*static_cast<const uint8_t *>(data) != 0);
        return kStatusOk;
    }
    default:
        REQUIRE_PROTOCOL();
        return m_protocol->SetProperty(key, data, size);
    }
}

int SessionProperties::GetProperty(int key, void *data, int *size)
{
    // The session's own list answers when the camera cannot, within the caller's buffer.
    auto answerList = [&](const uint8_t *list, int listBytes) -> int {
        REQUIRE_PROTOCOL();
        const int ret = m_protocol->GetProperty(key, data, size);
        if (ret == kStatusOk || list[0] == 0 || data == nullptr || size == nullptr) {
            return ret;
        }
        std::memcpy(data, list, static_cast<size_t>(std::clamp(*size, 0, listBytes)));
        return kStatusOk;
    };
    if (key == kSessionModeList) {
        return answerList(m_lists.DataModes().data(), SessionModeLists::kDataModeListBytes);
    }
    if (key == kSessionRangeList) {
        return answerList(m_lists.DepthRanges().data(), SessionModeLists::kDepthRangeListBytes);
    }
    if (key == kSessionTimeFilteredDepth) {
        REQUIRE_PIPELINE();
        if (data == nullptr || size == nullptr || *size < static_cast<int>(sizeof(Frame))) {
            TFLOG("invalid param: the frame record does not fit.");
            return kStatusNullPointer;
        }
        Frame frame{};
        const int ret = m_imageProc->GetOnlyTimeFilterDepth(&frame);
        std::memcpy(data, &frame, sizeof(frame));
        return ret;
    }
    if (key == kKeyDropCounters) {
        REQUIRE_PIPELINE();
        if (data == nullptr || size == nullptr || *size < static_cast<int>(sizeof(TfDropCounters))) {
            TFLOG("invalid param: the drop counters record does not fit.");
            return kStatusInvalidArgument;
        }
        const TfDropCounters counters = m_imageProc->GetDropCounters();
        std::memcpy(data, &counters, sizeof(counters));
        *size = static_cast<int>(sizeof(counters));
        return kStatusOk;
    }
    if (key == kKeyRawRecording) {
        REQUIRE_PIPELINE();
        if (data == nullptr || size == nullptr || *size < static_cast<int>(sizeof(TfRawRecordingStatus))) {
            TFLOG("invalid param: the raw recording status record does not fit.");
            return kStatusInvalidArgument;
        }
        const TfRawRecordingStatus status = m_imageProc->GetRawRecordingStatus();
        std::memcpy(data, &status, sizeof(status));
        *size = static_cast<int>(sizeof(status));
        return kStatusOk;
    }
    if (!IsForwardedQuery(key)) {
        return kStatusNotSupported;
    }
    REQUIRE_PROTOCOL();
    return m_protocol->GetProperty(key, data, size);
}

int SessionProperties::ProbeWhileClosed(bool opened)
{
    REQUIRE_PROTOCOL();
    char serial[64] = {};
    int size = static_cast<int>(sizeof(serial)) - 1;
    if (opened) {
        return GetProperty(kSessionHeartbeat, serial, &size);
    }
    int ret = m_protocol->OpenDevice();
    if (ret == kStatusOk) {
        ret = GetProperty(kSessionHeartbeat, serial, &size);
    }
    m_protocol->CloseDevice();
    return ret;
}
