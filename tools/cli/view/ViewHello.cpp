// SPDX-License-Identifier: Apache-2.0
// What the viewer tells a page about the camera: the hello message (identity, measuring range, the
// settings the page may change) and the intrinsics message, read through the public API.
#include "ViewHello.h"

#include "DeviceText.h"
#include "JpegEncoder.h"
#include "SettingsTable.h"

namespace orvane::cli {
namespace {

/// The maximum depth of ranges 0 to 5 in millimetres, when the camera reports no measuring range.
constexpr uint16_t kKnownRangeMaxMm[] = {1249, 1874, 2498, 3123, 3747, 7495};

std::string TextProperty(TfDeviceHandle device, int32_t key)
{
    char text[256] = {};
    int32_t size = sizeof text - 1;
    return TFCM_GetProperty(device, key, text, &size) == TF_OK ? FieldText(text, sizeof text - 1) : "";
}

const char *KindName(SettingKind kind)
{
    switch (kind) {
    case SettingKind::kSwitch:
        return "switch";
    case SettingKind::kNumber:
        return "number";
    case SettingKind::kFields:
        return "fields";
    }
    return "switch";
}

nlohmann::json Pinhole(TfDeviceHandle device, TfSensorType sensor, uint16_t width, uint16_t height,
                       double scale)
{
    TfCameraParameters params{};
    if (width == 0 || height == 0 || TFCM_GetCameraParameters(device, sensor, &params) != TF_OK) {
        return nullptr;
    }
    return {{"width", width},          {"height", height},        {"fx", params.fx * scale},
            {"fy", params.fy * scale}, {"cx", params.cx * scale}, {"cy", params.cy * scale}};
}

} // namespace

bool ImageSizes::operator==(const ImageSizes &other) const
{
    return tofWidth == other.tofWidth && tofHeight == other.tofHeight && colorWidth == other.colorWidth &&
           colorHeight == other.colorHeight && sentColorWidth == other.sentColorWidth &&
           sentColorHeight == other.sentColorHeight;
}

nlohmann::json ViewHello::Hello(TfDeviceHandle device, const TfDeviceInfo &info, const std::string &ip,
                                bool control)
{
    const std::string uri = FieldText(info.uri, sizeof info.uri);
    const size_t colon = uri.find(':');
    const nlohmann::json camera = {
        {"model", colon != std::string::npos ? uri.substr(0, colon) : DeviceTypeName(info.devicetype)},
        {"serial", colon != std::string::npos ? uri.substr(colon + 1) : uri},
        {"alias", FieldText(info.alias, sizeof info.alias)},
        {"ip", ip},
        {"firmware", TextProperty(device, TF_PROPERTY_FIRMWARE_VERSION)}};
    return {{"type", "hello"},
            {"version", 1},
            {"control", control},
            {"camera", camera},
            {"depthRangeMm", DepthRangeMm(device)},
            {"settings", control ? Settings(device) : nlohmann::json::array()}};
}

nlohmann::json ViewHello::DepthRangeMm(TfDeviceHandle device)
{
    TfDepthRange range = TF_DEPTH_RANGE_0;
    if (TFCM_GetDepthRange(device, &range) != TF_OK || range > TF_DEPTH_RANGE_5) {
        range = TF_DEPTH_RANGE_0;
    }
    TfMeasuringRange measuring{};
    measuring.depthRange = static_cast<uint8_t>(range);
    uint16_t maxMm = 0;
    if (TFCM_GetDepthMeasuringRange(device, &measuring) == TF_OK) {
        const uint16_t effectiveMm = measuring.depthMax[0];
        const uint16_t rangeMaxMm = measuring.depthMax[2];
        maxMm = effectiveMm != 0 ? effectiveMm : rangeMaxMm;
    }
    if (maxMm == 0) {
        maxMm = kKnownRangeMaxMm[static_cast<size_t>(range)];
    }
    return {{"min", 0}, {"max", maxMm}};
}

nlohmann::json ViewHello::Settings(TfDeviceHandle device)
{
    nlohmann::json settings = nlohmann::json::array();
    for (const SettingRow &row : SettingsTable::Rows()) {
        nlohmann::json entry = {
            {"name", row.name}, {"description", row.description}, {"kind", KindName(row.kind)}};
        if (row.kind == SettingKind::kNumber) {
            entry["min"] = row.min;
            entry["max"] = row.max;
            std::vector<int64_t> allowed = SettingsTable::CameraList(device, row);
            entry["allowed"] = allowed.empty() ? row.allowed : allowed;
        }
        if (row.kind == SettingKind::kFields) {
            nlohmann::json fields = nlohmann::json::array();
            for (const SettingField &field : row.fields) {
                fields.push_back({{"name", field.name}, {"min", field.min}, {"max", field.max}});
            }
            entry["fields"] = fields;
        }
        nlohmann::json value;
        entry["value"] = row.get && row.get(device, value) == TF_OK ? value : nlohmann::json(nullptr);
        settings.push_back(std::move(entry));
    }
    return settings;
}

nlohmann::json ViewHello::Intrinsics(TfDeviceHandle device, const ImageSizes &sizes)
{
    const double colorScale =
        sizes.colorWidth != 0 ? static_cast<double>(sizes.sentColorWidth) / sizes.colorWidth : 1.0;
    return {
        {"type", "intrinsics"},
        {"tof", Pinhole(device, TF_SENSOR_TOF, sizes.tofWidth, sizes.tofHeight, 1.0)},
        {"color", Pinhole(device, TF_SENSOR_COLOR, sizes.sentColorWidth, sizes.sentColorHeight, colorScale)}};
}

ImageSizes ViewHello::ModeSizes(TfDeviceHandle device)
{
    ImageSizes sizes;
    TfFrameMode mode{};
    if (TFCM_GetFrameMode(device, TF_FRAME_DEPTH, &mode) == TF_OK) {
        sizes.tofWidth = static_cast<uint16_t>(mode.resolutionWidth);
        sizes.tofHeight = static_cast<uint16_t>(mode.resolutionHeight);
    }
    if (TFCM_GetFrameMode(device, TF_FRAME_COLOR, &mode) == TF_OK) {
        sizes.colorWidth = static_cast<uint16_t>(mode.resolutionWidth);
        sizes.colorHeight = static_cast<uint16_t>(mode.resolutionHeight);
        uint16_t width = sizes.colorWidth;
        uint16_t height = sizes.colorHeight;
        while (width > JpegEncoder::kMaxWidth && height >= 2) {
            width /= 2;
            height /= 2;
        }
        sizes.sentColorWidth = width;
        sizes.sentColorHeight = height;
    }
    return sizes;
}

} // namespace orvane::cli
