// SPDX-License-Identifier: Apache-2.0
// The table of the camera settings Python reads and writes: per setting its name, how many numbers its
// value holds and the library functions that read and write it.
#include "CameraSettings.h"

#include <algorithm>

namespace orvane::python {

namespace {

using Device = TfDeviceHandle;

template <int (*Get)(Device, bool *)> int GetSwitch(Device device, SettingValues &out)
{
    bool on = false;
    const int status = Get(device, &on);
    out = {on ? 1.0 : 0.0};
    return status;
}

template <int (*Set)(Device, bool)> int SetSwitch(Device device, const SettingValues &value)
{
    return Set(device, value[0] != 0);
}

template <typename T, int (*Get)(Device, T *)> int GetNumber(Device device, SettingValues &out)
{
    T value{};
    const int status = Get(device, &value);
    out = {static_cast<double>(value)};
    return status;
}

template <typename U, int (*Set)(Device, U)> int SetNumber(Device device, const SettingValues &value)
{
    return Set(device, static_cast<U>(static_cast<int64_t>(value[0])));
}

/// The confidence, fill-hole and spatial filters share one record layout.
template <typename Params, int (*Get)(Device, Params *)> int GetFilter(Device device, SettingValues &out)
{
    Params p{};
    const int status = Get(device, &p);
    const uint32_t enable = p.enable, threshold = p.threshold, level = p.value;
    out = {static_cast<double>(enable), static_cast<double>(threshold), static_cast<double>(level)};
    return status;
}

template <typename Params, int (*Set)(Device, Params)>
int SetFilter(Device device, const SettingValues &value)
{
    Params p{};
    p.enable = static_cast<uint8_t>(value[0]);
    p.threshold = static_cast<uint32_t>(value[1]);
    p.value = static_cast<uint32_t>(value[2]);
    return Set(device, p);
}

int GetFlyingPixel(Device device, SettingValues &out)
{
    TfFlyingPixelFilterParams p{};
    const int status = TFCM_GetFlyingPixelFilterParams(device, &p);
    const uint32_t enable = p.enable, threshold = p.threshold;
    out = {static_cast<double>(enable), static_cast<double>(threshold)};
    return status;
}

int SetFlyingPixel(Device device, const SettingValues &value)
{
    TfFlyingPixelFilterParams p{};
    p.enable = static_cast<uint8_t>(value[0]);
    p.threshold = static_cast<uint32_t>(value[1]);
    return TFCM_SetFlyingPixelFilterParams(device, p);
}

template <uint8_t Slot> int GetExposureSlot(Device device, SettingValues &out)
{
    TfExposureTimeParams p{};
    p.index = Slot;
    const int status = TFCM_GetToFExposureTime_(device, &p);
    const uint32_t time = p.exposureTime;
    out = {static_cast<double>(time)};
    return status;
}

template <uint8_t Slot> int SetExposureSlot(Device device, const SettingValues &value)
{
    TfExposureTimeParams p{};
    p.index = Slot;
    p.exposureTime = static_cast<uint32_t>(value[0]);
    return TFCM_SetToFExposureTime_(device, p);
}

int GetDualFrequencyOutput(Device device, SettingValues &out)
{
    TfWDROutputMode mode{};
    const int status = TFCM_GetWDROutputMode(device, &mode);
    out = {static_cast<double>(mode.count), static_cast<double>(mode.values[0]),
           static_cast<double>(mode.values[1]), static_cast<double>(mode.values[2])};
    return status;
}

int SetDualFrequencyOutput(Device device, const SettingValues &value)
{
    TfWDROutputMode mode{
        static_cast<int32_t>(value[0]),
        {static_cast<int32_t>(value[1]), static_cast<int32_t>(value[2]), static_cast<int32_t>(value[3])}};
    return TFCM_SetWDROutputMode(device, &mode);
}

int GetColorExposure(Device device, SettingValues &out)
{
    float time = 0, gain = 0;
    const int status = TFCM_GetRgbExplosureTimeAndGain(device, &time, &gain);
    out = {time, gain};
    return status;
}

int SetColorExposure(Device device, const SettingValues &value)
{
    return TFCM_SetRgbExplosureTimeAndGain(device, static_cast<float>(value[0]),
                                           static_cast<float>(value[1]));
}

#define ORVANE_SWITCH(name, get, set, doc)                                                                   \
    {                                                                                                        \
        name, 1, true, &GetSwitch<get>, &SetSwitch<set>, doc                                                 \
    }
#define ORVANE_SET_SWITCH(name, set, doc)                                                                    \
    {                                                                                                        \
        name, 1, true, nullptr, &SetSwitch<set>, doc                                                         \
    }

std::vector<SettingRow> BuildRows()
{
    return {
        {"data_mode", 1, false, &GetNumber<uint8_t, TFCM_GetDataMode>,
         &SetNumber<TfDataMode, TFCM_SetDataMode>,
         "The camera's output mode, one of its data_modes (restarts the stream)."},
        {"depth_range", 1, false, &GetNumber<TfDepthRange, TFCM_GetDepthRange>,
         &SetNumber<TfDepthRange, TFCM_SetDepthRange>,
         "Depth range 0 (shortest) to 5 (restarts the stream)."},
        {"frame_rate", 1, false, &GetNumber<uint8_t, TFCM_GetFrameRate>,
         &SetNumber<uint8_t, TFCM_SetFrameRate>, "ToF frames per second (restarts the stream)."},
        {"exposure", 1, false, &GetNumber<uint32_t, TFCM_GetToFExposureTime>,
         &SetNumber<uint32_t, TFCM_SetToFExposureTime>,
         "ToF exposure time in microseconds (both slots in the two-exposure data modes)."},
        {"exposure_1", 1, false, &GetExposureSlot<0>, &SetExposureSlot<0>, "ToF exposure of the first slot."},
        {"exposure_2", 1, false, &GetExposureSlot<1>, &SetExposureSlot<1>,
         "ToF exposure of the second slot."},
        {"ir_gain", 1, false, &GetNumber<uint8_t, TFCM_GetIRGMMGain>, &SetNumber<uint8_t, TFCM_SetIRGMMGain>,
         "IR gain."},
        {"color_resolution", 1, false, &GetNumber<uint32_t, TFCM_GetColorResolution>,
         &SetNumber<uint32_t, TFCM_SetColorResolution>,
         "Colour resolution code: 2 640x480, 4 1600x1200, 5 800x600 (reads give 0 to 3)."},
        {"wdr_output", 4, false, &GetDualFrequencyOutput, &SetDualFrequencyOutput,
         "Dual-frequency output of data modes 9 and 10: count and three ranges (set with the stream "
         "stopped)."},
        {"color_exposure", 2, false, &GetColorExposure, &SetColorExposure,
         "Colour camera exposure time and gain."},
        {"confidence_filter", 3, false, &GetFilter<TfConfidenceFilterParams, TFCM_GetConfidenceFilterParams>,
         &SetFilter<TfConfidenceFilterParams, TFCM_SetConfidenceFilterParams>,
         "Confidence filter: enable, threshold, value."},
        {"fill_hole_filter", 3, false, &GetFilter<TfFillHoleFilterParams, TFCM_GetFillHoleFilterParams>,
         &SetFilter<TfFillHoleFilterParams, TFCM_SetFillHoleFilterParams>,
         "Fill-hole filter: enable, threshold (mm), value (pixels)."},
        {"spatial_filter", 3, false, &GetFilter<TfSpatialFilterParams, TFCM_GetSpatialFilterParams>,
         &SetFilter<TfSpatialFilterParams, TFCM_SetSpatialFilterParams>,
         "Spatial filter: enable, threshold, value."},
        {"flying_pixel_filter", 2, false, &GetFlyingPixel, &SetFlyingPixel,
         "Flying-pixel filter: enable, threshold."},
        ORVANE_SWITCH("confidence_filter_enabled", TFCM_GetConfidenceFilterEnabled,
                      TFCM_SetConfidenceFilterEnabled, "The confidence filter's switch."),
        ORVANE_SWITCH("smoothing_filter", TFCM_GetSmoothingFilterEnabled, TFCM_SetSmoothingFilterEnabled,
                      "Depth smoothing filter."),
        ORVANE_SWITCH("time_filter", TFCM_GetTimeFilterEnabled, TFCM_SetTimeFilterEnabled, "Time filter."),
        ORVANE_SWITCH("real_depth_correction", TFCM_GetComputeRealDepthCorrectionEnabled,
                      TFCM_SetComputeRealDepthCorrectionEnabled, "Real-depth correction."),
        ORVANE_SWITCH("tof_undistortion", TFCM_GetToFDistortionCorrectionEnabled,
                      TFCM_SetToFDistortionCorrectionEnabled, "ToF lens undistortion."),
        ORVANE_SWITCH("color_undistortion", TFCM_GetColorDistortionCorrectionEnabled,
                      TFCM_SetColorDistortionCorrectionEnabled, "Colour lens undistortion."),
        ORVANE_SWITCH("color_correction", TFCM_GetRGBCorrectionEnabled, TFCM_SetRGBCorrectionEnabled,
                      "Colour correction."),
        ORVANE_SWITCH("color_to_depth", TFCM_IsTransformColorImgToDepthCameraEnabled,
                      TFCM_SetTransformColorImgToDepthCameraEnabled,
                      "Colour mapped into the depth camera (FrameSet.color_mapped_to_depth)."),
        ORVANE_SWITCH("depth_to_color", TFCM_IsTransformDepthImgToColorCameraEnabled,
                      TFCM_SetTransformDepthImgToColorCameraEnabled,
                      "Depth and IR mapped into the colour camera (FrameSet.depth_mapped_to_color)."),
        ORVANE_SWITCH("synchronize", TFCM_GetSynchronizeEnabled, TFCM_SetSynchronizeEnabled,
                      "Pair depth and colour frames by index (on by default)."),
        ORVANE_SWITCH("dsp", TFCM_GetDSPEnabled, TFCM_SetDSPEnabled, "The camera's DSP processing."),
        ORVANE_SET_SWITCH("depth_frames", TFCM_SetDepthFrameEnabled, "Deliver depth frames."),
        ORVANE_SET_SWITCH("ir_frames", TFCM_SetIrFrameEnabled, "Deliver IR frames."),
        ORVANE_SET_SWITCH("confidence_frames", TFCM_SetConfidenceFrameEnabled,
                          "Deliver confidence frames (off until asked for)."),
        ORVANE_SET_SWITCH("color_frames", TFCM_SetColorFrameEnabled, "Deliver colour frames."),
        ORVANE_SET_SWITCH("low_power", TFCM_SetLowPowerModeEnabled, "The camera's low-power mode."),
        ORVANE_SET_SWITCH("slave_mode", TFCM_SetSlaveModeStatus, "Slave (external trigger) mode."),
        ORVANE_SET_SWITCH("raw_depth_cut", TFCM_SetRawDepthCut,
                          "Cut depth at the range's effective maximum."),
        {"image_mirror", 1, false, nullptr, &SetNumber<int, TFCM_SetImageMirror>,
         "Mirror delivered frames: 0 none, 1 left-right, 2 upside down, 3 both."},
        {"image_rotation", 1, false, nullptr, &SetNumber<int, TFCM_SetImageRotation>,
         "Rotate delivered frames."},
        {"wdr_style", 1, false, nullptr, &SetNumber<uint32_t, TFCM_SetWDRStyle>,
         "Dual-frequency delivery: 0 fused, 1 each range by itself."},
        {"color_pixel_format", 1, false, nullptr, &SetNumber<TfPixelFormat, TFCM_SetColorPixelFormat>,
         "Colour output of the library: 3 RGB, 4 BGR (FrameSet.color is RGB either way)."},
        {"ir_pixel_format", 1, false, nullptr, &SetNumber<TfPixelFormat, TFCM_SetIRPixelFormat>,
         "IR output: 1 16-bit, 2 8-bit."},
    };
}

#undef ORVANE_SWITCH
#undef ORVANE_SET_SWITCH

} // namespace

const std::vector<SettingRow> &CameraSettings::Rows()
{
    static const std::vector<SettingRow> rows = BuildRows();
    return rows;
}

const SettingRow *CameraSettings::Find(const std::string &name)
{
    const auto &rows = Rows();
    const auto found =
        std::find_if(rows.begin(), rows.end(), [&](const SettingRow &row) { return name == row.name; });
    return found == rows.end() ? nullptr : &*found;
}

} // namespace orvane::python
