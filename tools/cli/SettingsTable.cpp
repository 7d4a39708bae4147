// SPDX-License-Identifier: Apache-2.0
// The one table of camera settings that get, set and params work from: per setting its name, how the
// library reads and writes it, its valid values, and how it behaves while the camera streams.
#include "SettingsTable.h"

#include <algorithm>
#include <set>
#include <string>

namespace orvane::cli {

using nlohmann::json;

namespace {

using Device = TfDeviceHandle;

SettingRow MakeRow(const char *name, const char *description, SettingKind kind, int64_t min = 0,
                   int64_t max = 0)
{
    SettingRow row;
    row.name = name;
    row.description = description;
    row.kind = kind;
    row.min = min;
    row.max = max;
    return row;
}

SettingRow Switch(const char *name, const char *description, int (*get)(Device, bool *),
                  int (*set)(Device, bool))
{
    SettingRow row = MakeRow(name, description, SettingKind::kSwitch);
    if (get != nullptr) {
        row.get = [get](Device d, json &out) {
            bool on = false;
            const int status = get(d, &on);
            out = on;
            return status;
        };
    }
    row.set = [set](Device d, const json &value) { return set(d, value.get<bool>()); };
    return row;
}

/// A whole-number setting read into a T and written as a U.
template <typename T, typename U>
SettingRow Number(const char *name, const char *description, int64_t min, int64_t max,
                  int (*get)(Device, T *), int (*set)(Device, U))
{
    SettingRow row = MakeRow(name, description, SettingKind::kNumber, min, max);
    if (get != nullptr) {
        row.get = [get](Device d, json &out) {
            T value{};
            const int status = get(d, &value);
            out = static_cast<int64_t>(value);
            return status;
        };
    }
    row.set = [set](Device d, const json &value) { return set(d, static_cast<U>(value.get<int64_t>())); };
    return row;
}

/// The confidence, fill-hole and spatial filters share one record layout.
template <typename Params>
SettingRow Filter(const char *name, const char *description, int (*get)(Device, Params *),
                  int (*set)(Device, Params))
{
    SettingRow row = MakeRow(name, description, SettingKind::kFields);
    row.fields = {{"enable", 0, 1}, {"threshold", 0, 65535}, {"value", 0, 65535}};
    row.get = [get](Device d, json &out) {
        Params p{};
        const int status = get(d, &p);
        // Copied out of the packed record: its fields cannot be bound to references.
        const uint32_t enable = p.enable, threshold = p.threshold, level = p.value;
        out = {{"enable", enable}, {"threshold", threshold}, {"value", level}};
        return status;
    };
    row.set = [set](Device d, const json &value) {
        Params p{};
        p.enable = value.at("enable").get<uint8_t>();
        p.threshold = value.at("threshold").get<uint32_t>();
        p.value = value.at("value").get<uint32_t>();
        return set(d, p);
    };
    return row;
}

SettingRow FlyingPixelFilter()
{
    SettingRow row =
        MakeRow("flying-pixel-filter", "flying-pixel filter: enable, threshold", SettingKind::kFields);
    row.fields = {{"enable", 0, 1}, {"threshold", 0, 65535}};
    row.get = [](Device d, json &out) {
        TfFlyingPixelFilterParams p{};
        const int status = TFCM_GetFlyingPixelFilterParams(d, &p);
        const uint32_t enable = p.enable, threshold = p.threshold;
        out = {{"enable", enable}, {"threshold", threshold}};
        return status;
    };
    row.set = [](Device d, const json &value) {
        TfFlyingPixelFilterParams p{};
        p.enable = value.at("enable").get<uint8_t>();
        p.threshold = value.at("threshold").get<uint32_t>();
        return TFCM_SetFlyingPixelFilterParams(d, p);
    };
    return row;
}

/// ToF exposure of one slot (the second slot counts in the two-exposure data modes).
SettingRow Exposure(const char *name, const char *description, uint8_t slot)
{
    SettingRow row = MakeRow(name, description, SettingKind::kNumber, 1, 100000);
    row.get = [slot](Device d, json &out) {
        TfExposureTimeParams p{};
        p.index = slot;
        const int status = TFCM_GetToFExposureTime_(d, &p);
        out = static_cast<uint32_t>(p.exposureTime);
        return status;
    };
    row.set = [slot](Device d, const json &value) {
        TfExposureTimeParams p{};
        p.index = slot;
        p.exposureTime = value.get<uint32_t>();
        return TFCM_SetToFExposureTime_(d, p);
    };
    return row;
}

SettingRow DualFrequencyOutput()
{
    SettingRow row =
        MakeRow("wdr-output", "dual-frequency output of data modes 9 and 10: count, range0..range2",
                SettingKind::kFields);
    row.fields = {{"count", 0, 3}, {"range0", 0, 5}, {"range1", 0, 5}, {"range2", 0, 5}};
    row.refusedWhileStreaming = true;
    row.get = [](Device d, json &out) {
        TfWDROutputMode mode{};
        const int status = TFCM_GetWDROutputMode(d, &mode);
        out = {{"count", mode.count},
               {"range0", mode.values[0]},
               {"range1", mode.values[1]},
               {"range2", mode.values[2]}};
        return status;
    };
    row.set = [](Device d, const json &value) {
        TfWDROutputMode mode{value.at("count").get<int32_t>(),
                             {value.at("range0").get<int32_t>(), value.at("range1").get<int32_t>(),
                              value.at("range2").get<int32_t>()}};
        return TFCM_SetWDROutputMode(d, &mode);
    };
    return row;
}

std::vector<SettingRow> BuildRows()
{
    std::vector<SettingRow> rows;
    rows.push_back(Number("data-mode", "the camera's output mode (one of its data-mode list)", 0, 10,
                          &TFCM_GetDataMode, &TFCM_SetDataMode));
    rows.back().restartsStream = true;
    rows.back().listKey = TF_PROPERTY_DATA_MODE_LIST;
    rows.push_back(Number("depth-range", "depth range 0..5 (fixed in the multi-frequency data modes)", 0, 5,
                          &TFCM_GetDepthRange, &TFCM_SetDepthRange));
    rows.back().restartsStream = true;
    rows.back().listKey = TF_PROPERTY_DEPTH_RANGE_LIST;
    rows.push_back(DualFrequencyOutput());
    rows.push_back(
        Number("frame-rate", "ToF frames per second", 1, 30, &TFCM_GetFrameRate, &TFCM_SetFrameRate));
    rows.back().restartsStream = true;
    rows.push_back(Exposure("exposure-time", "ToF exposure of the first slot, microseconds", 0));
    rows.push_back(Exposure("exposure-time-2", "ToF exposure of the second slot, microseconds", 1));
    rows.push_back(Number("ir-gain", "IR gain", 0, 255, &TFCM_GetIRGMMGain, &TFCM_SetIRGMMGain));
    rows.push_back(Number("color-resolution", "colour resolution: 2 640x480, 4 1600x1200, 5 800x600", 0, 5,
                          &TFCM_GetColorResolution, &TFCM_SetColorResolution));
    rows.back().allowed = {TF_COLOR_640X480, TF_COLOR_1600X1200, TF_COLOR_800X600};
    rows.push_back(Filter("confidence-filter", "confidence filter: enable, threshold, value",
                          &TFCM_GetConfidenceFilterParams, &TFCM_SetConfidenceFilterParams));
    rows.push_back(Filter("fill-hole-filter", "fill-hole filter: enable, threshold, value",
                          &TFCM_GetFillHoleFilterParams, &TFCM_SetFillHoleFilterParams));
    rows.push_back(Filter("spatial-filter", "spatial filter: enable, threshold, value",
                          &TFCM_GetSpatialFilterParams, &TFCM_SetSpatialFilterParams));
    rows.push_back(FlyingPixelFilter());
    rows.push_back(Switch("smoothing-filter", "depth smoothing filter", &TFCM_GetSmoothingFilterEnabled,
                          &TFCM_SetSmoothingFilterEnabled));
    rows.push_back(
        Switch("time-filter", "time filter", &TFCM_GetTimeFilterEnabled, &TFCM_SetTimeFilterEnabled));
    rows.push_back(Switch("real-depth-correction", "real-depth correction",
                          &TFCM_GetComputeRealDepthCorrectionEnabled,
                          &TFCM_SetComputeRealDepthCorrectionEnabled));
    rows.push_back(Switch("tof-undistortion", "ToF lens undistortion",
                          &TFCM_GetToFDistortionCorrectionEnabled, &TFCM_SetToFDistortionCorrectionEnabled));
    rows.push_back(Switch("color-undistortion", "colour lens undistortion",
                          &TFCM_GetColorDistortionCorrectionEnabled,
                          &TFCM_SetColorDistortionCorrectionEnabled));
    rows.push_back(Switch("color-correction", "colour correction", &TFCM_GetRGBCorrectionEnabled,
                          &TFCM_SetRGBCorrectionEnabled));
    rows.push_back(Switch("color-to-depth", "colour mapped into the depth camera",
                          &TFCM_IsTransformColorImgToDepthCameraEnabled,
                          &TFCM_SetTransformColorImgToDepthCameraEnabled));
    rows.push_back(Switch("depth-to-color", "depth mapped into the colour camera",
                          &TFCM_IsTransformDepthImgToColorCameraEnabled,
                          &TFCM_SetTransformDepthImgToColorCameraEnabled));
    rows.push_back(Switch("synchronize", "pair depth and colour frames by index", &TFCM_GetSynchronizeEnabled,
                          &TFCM_SetSynchronizeEnabled));
    rows.push_back(Switch("dsp", "the camera's DSP processing", &TFCM_GetDSPEnabled, &TFCM_SetDSPEnabled));
    // Settings the camera cannot report: set only, left out of a dump.
    rows.push_back(
        Switch("confidence-frames", "deliver confidence frames", nullptr, &TFCM_SetConfidenceFrameEnabled));
    rows.push_back(Switch("low-power", "the camera's low-power mode", nullptr, &TFCM_SetLowPowerModeEnabled));
    rows.push_back(Number<uint8_t, int>("image-mirror", "mirror delivered frames: 0 none, 1, 2 or 3", 0, 3,
                                        nullptr, &TFCM_SetImageMirror));
    // Filters and switches of the library's own frame pipeline, set anew at every open.
    static const std::set<std::string> kPerOpen = {
        "fill-hole-filter", "spatial-filter",        "flying-pixel-filter", "smoothing-filter",
        "time-filter",      "real-depth-correction", "color-undistortion",  "color-correction",
        "color-to-depth",   "depth-to-color",        "synchronize",         "confidence-frames",
        "image-mirror"};
    for (SettingRow &row : rows) {
        row.perOpen = kPerOpen.count(row.name) != 0;
    }
    return rows;
}

} // namespace

const std::vector<SettingRow> &SettingsTable::Rows()
{
    static const std::vector<SettingRow> rows = BuildRows();
    return rows;
}

const SettingRow *SettingsTable::Find(const std::string &name)
{
    const auto &rows = Rows();
    const auto found =
        std::find_if(rows.begin(), rows.end(), [&](const SettingRow &row) { return name == row.name; });
    return found == rows.end() ? nullptr : &*found;
}

std::string SettingsTable::Names()
{
    std::string names;
    for (const SettingRow &row : Rows()) {
        names += (names.empty() ? "" : ", ") + std::string(row.name);
    }
    return names;
}

std::vector<int64_t> SettingsTable::CameraList(TfDeviceHandle device, const SettingRow &row)
{
    uint8_t list[63] = {};
    int32_t size = sizeof list;
    if (row.listKey == 0 || TFCM_GetProperty(device, row.listKey, list, &size) != TF_OK) {
        return {};
    }
    // The count comes from the camera: never past the buffer.
    const size_t count = std::min<size_t>(list[0], sizeof list - 1);
    return std::vector<int64_t>(list + 1, list + 1 + count);
}

int SettingsTable::Apply(TfDeviceHandle device, const SettingRow &row, const json &value)
{
    json whole = value;
    if (row.kind == SettingKind::kFields && whole.size() < row.fields.size()) {
        // Fields not named keep what the camera has now.
        json current;
        if (!row.get) {
            return TF_ERROR_INVALID_ARGUMENT;
        }
        if (const int status = row.get(device, current); status != TF_OK) {
            return status;
        }
        current.update(whole);
        whole = current;
    }
    if (!row.refusedWhileStreaming) {
        return row.set(device, whole);
    }
    // The camera is opened streaming; such a setting goes in while it is stopped.
    const bool wasStreaming = TFCM_StopStream(device) == TF_OK;
    const int status = row.set(device, whole);
    if (wasStreaming) {
        const int restarted = TFCM_StartStream(device);
        return status != TF_OK ? status : restarted;
    }
    return status;
}

} // namespace orvane::cli
