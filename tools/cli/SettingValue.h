// SPDX-License-Identifier: Apache-2.0
// The values of the settings table as text and as JSON: parsed and range-checked before the library is
// called, and written back the same way they are read.
#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "SettingsTable.h"

namespace orvane::cli {

class SettingValue
{
public:
    /// Parses text as typed after `set NAME`: "on"/"off" (also 1/0, true/false, yes/no), a whole number,
    /// "field=value,..." or a JSON value. Returns the canonical JSON (bool, integer, or object of
    /// integers), or nothing with `error` saying why.
    static std::optional<nlohmann::json> FromText(const SettingRow &row, const std::string &text,
                                                  std::string &error);
    /// Checks a value from a dump (JSON, or text as FromText takes it) and returns its canonical form.
    /// A structured value may name only some of its fields.
    static std::optional<nlohmann::json> FromJson(const SettingRow &row, const nlohmann::json &value,
                                                  std::string &error);
    /// "on", "12", "enable=1,threshold=50,value=4095".
    static std::string ToText(const SettingRow &row, const nlohmann::json &value);
    /// The valid values as text: "on|off", "0..5", "2|4|5", "enable=0..1,threshold=0..65535".
    static std::string RangeText(const SettingRow &row);

private:
    static std::optional<int64_t> ParseInteger(const std::string &text);
    static std::optional<nlohmann::json> CheckNumber(const SettingRow &row, const nlohmann::json &value,
                                                     std::string &error);
    static std::optional<nlohmann::json> CheckFields(const SettingRow &row, const nlohmann::json &value,
                                                     std::string &error);
    static std::optional<nlohmann::json> ParseFields(const SettingRow &row, const std::string &text,
                                                     std::string &error);
};

} // namespace orvane::cli
