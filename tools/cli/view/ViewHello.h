// SPDX-License-Identifier: Apache-2.0
// What the viewer tells a page about the camera: the hello message (identity, measuring range, the
// settings the page may change) and the intrinsics message, read through the public API.
#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "Orvane_api.h"

namespace orvane::cli {

/// The sizes of the images the page receives, and of the colour frames the library delivers.
struct ImageSizes
{
    uint16_t tofWidth = 0;
    uint16_t tofHeight = 0;
    uint16_t colorWidth = 0; // as the library delivers it (the intrinsics' size)
    uint16_t colorHeight = 0;
    uint16_t sentColorWidth = 0; // as sent to the page (the JPEG, perhaps halved)
    uint16_t sentColorHeight = 0;

    bool operator==(const ImageSizes &other) const;
    bool operator!=(const ImageSizes &other) const { return !(*this == other); }
};

class ViewHello
{
public:
    /// The hello message; "settings" lists every setting with its current value when `control`.
    static nlohmann::json Hello(TfDeviceHandle device, const TfDeviceInfo &info, const std::string &ip,
                                bool control);
    /// {"min":0,"max":N}: the measuring range of the current depth range, in millimetres; the ranges'
    /// known limits when the library gives none.
    static nlohmann::json DepthRangeMm(TfDeviceHandle device);
    /// The intrinsics message for these sizes; colour intrinsics are scaled to the image sent.
    static nlohmann::json Intrinsics(TfDeviceHandle device, const ImageSizes &sizes);
    /// The sizes the camera's frame modes announce, before any frame arrived.
    static ImageSizes ModeSizes(TfDeviceHandle device);

private:
    static nlohmann::json Settings(TfDeviceHandle device);
};

} // namespace orvane::cli
