// SPDX-License-Identifier: Apache-2.0
// `orvane-cli info`: what a camera says about itself: versions, identity, modes, geometry and filters.
#include "InfoCommand.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "CliContext.h"
#include "DeviceText.h"
#include "ExitCodes.h"
#include "SettingsTable.h"
#include "StatusNames.h"

namespace orvane::cli {

using ojson = nlohmann::ordered_json;

namespace {

ojson Unsupported(int status)
{
    return {{"unsupported", StatusName(status)}};
}

/// A text property; the buffer is bounded whatever the camera sends.
ojson TextProperty(TfDeviceHandle device, int32_t key)
{
    char text[256] = {};
    int32_t size = sizeof text - 1;
    const int status = TFCM_GetProperty(device, key, text, &size);
    return status == TF_OK ? ojson(FieldText(text, sizeof text - 1)) : Unsupported(status);
}

/// A list property: a count byte, then the entries.
ojson ListProperty(TfDeviceHandle device, int32_t key)
{
    uint8_t list[63] = {};
    int32_t size = sizeof list;
    const int status = TFCM_GetProperty(device, key, list, &size);
    if (status != TF_OK) {
        return Unsupported(status);
    }
    ojson entries = ojson::array();
    for (size_t i = 1; i <= std::min<size_t>(list[0], sizeof list - 1); ++i) {
        entries.push_back(list[i]);
    }
    return entries;
}

/// A text of a function that fills a buffer of a given size.
ojson TextOf(int (*read)(TfDeviceHandle, char *, int), TfDeviceHandle device)
{
    char text[256] = {};
    const int status = read(device, text, sizeof text - 1);
    return status == TF_OK ? ojson(FieldText(text, sizeof text - 1)) : Unsupported(status);
}

std::string PixelFormatName(uint32_t format)
{
    static const char *const kNames[] = {"depth16", "gray16", "gray8", "rgb888", "bgr888"};
    return format < sizeof kNames / sizeof kNames[0] ? kNames[format] : std::to_string(format);
}

ojson FrameMode(TfDeviceHandle device, TfFrameType type)
{
    TfFrameMode mode{};
    const int status = TFCM_GetFrameMode(device, type, &mode);
    if (status != TF_OK) {
        return Unsupported(status);
    }
    return {{"format", PixelFormatName(mode.pixelFormat)},
            {"width", mode.resolutionWidth},
            {"height", mode.resolutionHeight},
            {"fps", mode.fps}};
}

ojson Intrinsics(TfDeviceHandle device, TfSensorType sensor)
{
    TfCameraParameters p{};
    const int status = TFCM_GetCameraParameters(device, sensor, &p);
    if (status != TF_OK) {
        return Unsupported(status);
    }
    return {{"fx", p.fx}, {"fy", p.fy}, {"cx", p.cx}, {"cy", p.cy}, {"k1", p.k1}, {"k2", p.k2},
            {"p1", p.p1}, {"p2", p.p2}, {"k3", p.k3}, {"k4", p.k4}, {"k5", p.k5}, {"k6", p.k6}};
}

bool IsPlain(const ojson &value)
{
    return std::none_of(value.begin(), value.end(), [](const ojson &v) { return v.is_object(); });
}

std::string PlainText(const ojson &value)
{
    if (value.is_string()) {
        return value.get<std::string>();
    }
    if (value.is_boolean()) {
        return value.get<bool>() ? "on" : "off";
    }
    std::string text;
    if (value.is_array()) {
        for (const ojson &entry : value) {
            text += (text.empty() ? "" : ", ") + PlainText(entry);
        }
        return text;
    }
    if (value.is_object()) {
        if (value.size() == 1 && value.contains("unsupported")) {
            return "unsupported (" + value["unsupported"].get<std::string>() + ")";
        }
        for (const auto &[key, entry] : value.items()) {
            const std::string part = PlainText(entry);
            text += (text.empty() ? "" : " ") + key + "=" + (entry.is_array() ? "[" + part + "]" : part);
        }
        return text;
    }
    return value.dump(-1, ' ', false, ojson::error_handler_t::replace);
}

void Flatten(const std::string &prefix, const ojson &value,
             std::vector<std::pair<std::string, std::string>> &lines)
{
    if (!value.is_object() || IsPlain(value)) {
        lines.emplace_back(prefix, PlainText(value));
        return;
    }
    for (const auto &[key, entry] : value.items()) {
        Flatten(prefix + "." + key, entry, lines);
    }
}

} // namespace

void InfoCommand::Register(CLI::App &)
{
}

ojson InfoCommand::Identity(TfDeviceHandle device, const TfDeviceInfo &info)
{
    char sdk[16] = {};
    TFCM_GetSDKVersion(sdk);
    ojson out;
    out["uri"] = FieldText(info.uri, sizeof info.uri);
    out["alias"] = FieldText(info.alias, sizeof info.alias);
    out["model"] = DeviceTypeName(info.devicetype);
    out["sdk-version"] = FieldText(sdk, sizeof sdk);
    out["firmware-version"] = TextOf(&TFCM_GetFirmwareVersionNumber, device);
    out["hardware-version"] = TextProperty(device, TF_PROPERTY_HARDWARE_VERSION);
    out["software-version"] = TextProperty(device, TF_PROPERTY_SOFTWARE_VERSION);
    out["serial-number"] = TextOf(&TFCM_GetSerialNumber, device);
    out["device-serial"] = TextProperty(device, TF_PROPERTY_DEVICE_SN);
    // The MAC function answers one byte only: the property with a real size gives the whole address.
    out["mac-address"] = TextProperty(device, TF_PROPERTY_MAC_ADDRESS);
    out["ip-address"] = TextProperty(device, TF_PROPERTY_IP_ADDRESS);
    out["subnet-mask"] = TextProperty(device, TF_PROPERTY_SUBNET_MASK);
    return out;
}

ojson InfoCommand::Modes(TfDeviceHandle device)
{
    ojson out;
    out["data-modes"] = ListProperty(device, TF_PROPERTY_DATA_MODE_LIST);
    out["depth-ranges"] = ListProperty(device, TF_PROPERTY_DEPTH_RANGE_LIST);
    uint8_t mode = 0;
    const int modeStatus = TFCM_GetDataMode(device, &mode);
    out["data-mode"] = modeStatus == TF_OK ? ojson(mode) : Unsupported(modeStatus);
    TfDepthRange range = TF_DEPTH_RANGE_0;
    const int rangeStatus = TFCM_GetDepthRange(device, &range);
    out["depth-range"] = rangeStatus == TF_OK ? ojson(static_cast<int>(range)) : Unsupported(rangeStatus);
    if (rangeStatus == TF_OK) {
        TfMeasuringRange measuring{};
        measuring.depthRange = static_cast<uint8_t>(range);
        const int status = TFCM_GetDepthMeasuringRange(device, &measuring);
        const uint16_t effectiveMm = measuring.depthMax[0];
        const uint16_t maxMm = measuring.depthMax[2];
        out["measuring-range"] = status == TF_OK ? ojson{{"effective-max-mm", effectiveMm}, {"max-mm", maxMm}}
                                                 : Unsupported(status);
    }
    uint8_t fps = 0;
    const int fpsStatus = TFCM_GetFrameRate(device, &fps);
    out["frame-rate"] = fpsStatus == TF_OK ? ojson(fps) : Unsupported(fpsStatus);
    out["frame-modes"] = {{"depth", FrameMode(device, TF_FRAME_DEPTH)},
                          {"ir", FrameMode(device, TF_FRAME_IR)},
                          {"color", FrameMode(device, TF_FRAME_COLOR)}};
    return out;
}

ojson InfoCommand::Geometry(TfDeviceHandle device)
{
    ojson out;
    out["intrinsics"] = {{"tof", Intrinsics(device, TF_SENSOR_TOF)},
                         {"color", Intrinsics(device, TF_SENSOR_COLOR)}};
    TfCameraExtrinsicParameters extrinsics{};
    const int status = TFCM_GetCameraExtrinsicParameters(device, &extrinsics);
    out["extrinsics"] =
        status == TF_OK ? ojson{{"rotation", extrinsics.rotation}, {"translation-mm", extrinsics.translation}}
                        : Unsupported(status);
    return out;
}

ojson InfoCommand::Collect(TfDeviceHandle device, const TfDeviceInfo &info)
{
    ojson out = Identity(device, info);
    out.update(Modes(device));
    out.update(Geometry(device));
    ojson filters;
    for (const SettingRow &row : SettingsTable::Rows()) {
        const std::string_view name = row.name;
        if (!row.get || name.size() < 7 || name.substr(name.size() - 7) != "-filter") {
            continue;
        }
        nlohmann::json value;
        const int status = row.get(device, value);
        filters[row.name] =
            status == TF_OK
                ? ojson::parse(value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace))
                : Unsupported(status);
    }
    out["filters"] = filters;
    return out;
}

std::string InfoCommand::Format(const ojson &info)
{
    std::vector<std::pair<std::string, std::string>> lines;
    for (const auto &[key, value] : info.items()) {
        Flatten(key, value, lines);
    }
    size_t width = 0;
    for (const auto &line : lines) {
        width = std::max(width, line.first.size());
    }
    std::string text;
    for (const auto &[name, value] : lines) {
        text += (text.empty() ? "" : "\n") + name + ":" + std::string(width - name.size() + 1, ' ') + value;
    }
    return text;
}

int InfoCommand::Run(CliContext &context)
{
    if (const int code = context.OpenCamera(); code != kExitOk) {
        return code;
    }
    const ojson info = Collect(context.Camera().Handle(), context.Camera().Info());
    context.Out().Emit(nlohmann::json::parse(info.dump(-1, ' ', false, ojson::error_handler_t::replace)),
                       Format(info));
    return kExitOk;
}

} // namespace orvane::cli
