// SPDX-License-Identifier: Apache-2.0
// The one table of camera settings that get, set and params work from: per setting its name, how the
// library reads and writes it, its valid values, and how it behaves while the camera streams.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Orvane_api.h"

namespace orvane::cli {

/// How a setting's value is written: on/off, a whole number, or named whole-number fields.
enum class SettingKind
{
    kSwitch,
    kNumber,
    kFields
};

/// One named field of a structured setting, with its valid range.
struct SettingField
{
    const char *name;
    int64_t min;
    int64_t max;
};

struct SettingRow
{
    const char *name = "";        // kebab-case, as typed on the command line and written in a dump
    const char *description = ""; // one line for the help text and the unknown-name message
    SettingKind kind = SettingKind::kSwitch;
    int64_t min = 0; // kNumber: the valid range...
    int64_t max = 0;
    std::vector<int64_t> allowed;       // ...or, when not empty, the only values the camera accepts
    std::vector<SettingField> fields;   // kFields
    bool restartsStream = false;        // the library stops the stream, applies the value and restarts it
    bool refusedWhileStreaming = false; // the library refuses a change while the stream runs
    /// Kept by the library for as long as the camera stays open in this process (a filter of its own
    /// pipeline), not by the camera: a one-shot `set` would be lost when orvane-cli closes the camera.
    bool perOpen = false;
    /// The property key of the list of values this camera accepts (a count byte, then the values), or 0.
    int32_t listKey = 0;
    /// Reads the value as the canonical JSON of its kind; null for a setting the camera cannot report.
    std::function<int(TfDeviceHandle, nlohmann::json &)> get;
    /// Writes a checked value of the canonical JSON of its kind (all fields present).
    std::function<int(TfDeviceHandle, const nlohmann::json &)> set;
};

class SettingsTable
{
public:
    /// Every setting, in the order a whole set of values is applied: the data mode first, then what it
    /// governs (depth range, dual-frequency output, exposure), then the rest.
    static const std::vector<SettingRow> &Rows();
    /// The row named `name`, or null.
    static const SettingRow *Find(const std::string &name);
    /// "data-mode, depth-range, ...": for messages naming what exists.
    static std::string Names();

    /// Writes `value` (checked, of the row's canonical form; a structured value may name only some
    /// fields, the others keep the camera's current values). A setting refused while streaming is
    /// applied with the stream stopped and the stream started again afterwards. Returns the library's
    /// status.
    /// The values the camera lists for a row with a list key; empty when it has none or cannot say.
    static std::vector<int64_t> CameraList(TfDeviceHandle device, const SettingRow &row);
    static int Apply(TfDeviceHandle device, const SettingRow &row, const nlohmann::json &value);
};

} // namespace orvane::cli
