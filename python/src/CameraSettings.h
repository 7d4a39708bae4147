// SPDX-License-Identifier: Apache-2.0
// The table of the camera settings Python reads and writes: per setting its name, how many numbers its
// value holds and the library functions that read and write it.
#pragma once

#include "Orvane_api.h"

#include <string>
#include <vector>

namespace orvane::python {

/// A setting's value as plain numbers: one for a switch or a number, one per field for a record.
using SettingValues = std::vector<double>;

struct SettingRow
{
    const char *name;
    size_t arity;                                          ///< numbers in the value
    bool isSwitch;                                         ///< on or off (read back as a bool)
    int (*get)(TfDeviceHandle device, SettingValues &out); ///< null: the camera cannot report it
    int (*set)(TfDeviceHandle device, const SettingValues &value);
    const char *doc;
};

class CameraSettings
{
public:
    static const std::vector<SettingRow> &Rows();
    /// The row of `name`, or null.
    static const SettingRow *Find(const std::string &name);
};

} // namespace orvane::python
