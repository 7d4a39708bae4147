// SPDX-License-Identifier: Apache-2.0
// RecordingHeader: what a recording says about the camera it came from.
#include "RecordingHeader.h"

#include <chrono>
#include <ctime>

#include "DeviceText.h"

namespace orvane::cli {
namespace {

nlohmann::json Intrinsics(const TfCameraParameters &p)
{
    return {{"fx", p.fx}, {"fy", p.fy}, {"cx", p.cx}, {"cy", p.cy}, {"k1", p.k1}, {"k2", p.k2},
            {"p1", p.p1}, {"p2", p.p2}, {"k3", p.k3}, {"k4", p.k4}, {"k5", p.k5}, {"k6", p.k6}};
}

nlohmann::json FrameMode(const TfFrameMode &mode)
{
    return {{"pixelFormat", mode.pixelFormat},
            {"width", mode.resolutionWidth},
            {"height", mode.resolutionHeight},
            {"fps", mode.fps}};
}

std::string UtcNow(uint64_t &unixNs)
{
    const auto now = std::chrono::system_clock::now();
    unixNs = static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(now.time_since_epoch()).count());
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

/// Collects the values the camera gives and the names of those it refuses.
class Gatherer
{
public:
    explicit Gatherer(TfDeviceHandle handle) : m_handle(handle) {}

    void Text(nlohmann::json &into, const char *name, int32_t key)
    {
        char buffer[128] = {};
        int32_t size = sizeof buffer - 1;
        Check(name, TFCM_GetProperty(m_handle, key, buffer, &size),
              [&] { into[name] = FieldText(buffer, sizeof buffer); });
    }

    template <typename Fill> void Check(const char *name, int status, Fill fill)
    {
        if (status == TF_OK) {
            fill();
        } else {
            m_unavailable.push_back(name);
        }
    }

    TfDeviceHandle Handle() const { return m_handle; }
    const std::vector<std::string> &Unavailable() const { return m_unavailable; }

private:
    TfDeviceHandle m_handle;
    std::vector<std::string> m_unavailable;
};

} // namespace

nlohmann::json RecordingHeader::Describe(const CameraScope &camera,
                                         const std::vector<const StreamKind *> &streams, int zstdLevel)
{
    const TfDeviceInfo &info = camera.Info();
    Gatherer get(camera.Handle());
    nlohmann::json identity = {{"uri", FieldText(info.uri, sizeof info.uri)},
                               {"alias", FieldText(info.alias, sizeof info.alias)},
                               {"model", DeviceTypeName(info.devicetype)},
                               {"deviceType", info.devicetype},
                               {"ip", camera.Ip()}};
    char sdk[6] = {};
    TFCM_GetSDKVersion(sdk);
    identity["sdkVersion"] = std::string(sdk, 5);
    char text[128] = {};
    get.Check("serialNumber", TFCM_GetSerialNumber(get.Handle(), text, sizeof text - 1),
              [&] { identity["serialNumber"] = FieldText(text, sizeof text); });
    get.Check("firmwareVersion", TFCM_GetFirmwareVersionNumber(get.Handle(), text, sizeof text - 1),
              [&] { identity["firmwareVersion"] = FieldText(text, sizeof text); });
    get.Text(identity, "hardwareVersion", TF_PROPERTY_HARDWARE_VERSION);

    nlohmann::json header = {{"camera", identity}};
    TfCameraParameters params{};
    get.Check("tofIntrinsics", TFCM_GetCameraParameters(get.Handle(), TF_SENSOR_TOF, &params),
              [&] { header["tofIntrinsics"] = Intrinsics(params); });
    get.Check("colorIntrinsics", TFCM_GetCameraParameters(get.Handle(), TF_SENSOR_COLOR, &params),
              [&] { header["colorIntrinsics"] = Intrinsics(params); });
    TfCameraExtrinsicParameters extrinsics{};
    get.Check("extrinsics", TFCM_GetCameraExtrinsicParameters(get.Handle(), &extrinsics), [&] {
        header["extrinsics"] = {{"rotation", extrinsics.rotation}, {"translation", extrinsics.translation}};
    });
    uint8_t dataMode = 0;
    get.Check("dataMode", TFCM_GetDataMode(get.Handle(), &dataMode), [&] { header["dataMode"] = dataMode; });
    TfDepthRange range = TF_DEPTH_RANGE_0;
    get.Check("depthRange", TFCM_GetDepthRange(get.Handle(), &range), [&] { header["depthRange"] = range; });
    uint8_t fps = 0;
    get.Check("frameRate", TFCM_GetFrameRate(get.Handle(), &fps), [&] { header["frameRate"] = fps; });
    nlohmann::json modes = nlohmann::json::object();
    for (const TfFrameType type : {TF_FRAME_DEPTH, TF_FRAME_IR, TF_FRAME_COLOR}) {
        TfFrameMode mode{};
        if (TFCM_GetFrameMode(get.Handle(), type, &mode) == TF_OK) {
            modes[StreamChoice::NameOf(type)] = FrameMode(mode);
        }
    }
    header["frameModes"] = modes;
    nlohmann::json names = nlohmann::json::array();
    for (const StreamKind *kind : streams) {
        names.push_back(kind->name);
    }
    header["streams"] = names;
    header["compression"] = zstdLevel != 0 ? "zstd " + std::to_string(zstdLevel) : "none";
    uint64_t unixNs = 0;
    header["startTime"] = UtcNow(unixNs);
    header["startTimeUnixNs"] = unixNs;
    if (!get.Unavailable().empty()) {
        header["unavailable"] = get.Unavailable();
    }
    return header;
}

} // namespace orvane::cli
