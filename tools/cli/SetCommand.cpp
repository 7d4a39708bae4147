// SPDX-License-Identifier: Apache-2.0
// `orvane-cli set NAME VALUE`: checks a value against the settings table and writes it to the camera.
#include "SetCommand.h"

#include <algorithm>

#include "CliContext.h"
#include "ExitCodes.h"
#include "SettingValue.h"
#include "SettingsTable.h"

namespace orvane::cli {

namespace {

std::string SettingsHelp()
{
    std::string help = "the setting and its values:";
    for (const SettingRow &row : SettingsTable::Rows()) {
        help += std::string("\n  ") + row.name + " " + SettingValue::RangeText(row) + ": " + row.description;
        help += row.restartsStream ? " (restarts the stream)" : "";
        help += row.refusedWhileStreaming ? " (applied with the stream stopped)" : "";
        help += row.perOpen ? " (kept by the library while the camera is open: get only)" : "";
    }
    return help;
}

} // namespace

void SetCommand::Register(CLI::App &app)
{
    app.add_option("NAME", setting, SettingsHelp())->required();
    app.add_option("VALUE", value, "on/off, a number, field=value,... or JSON")->required();
}

int SetCommand::Run(CliContext &context)
{
    const SettingRow *row = SettingsTable::Find(setting);
    if (row == nullptr) {
        context.Out().Message("no setting named " + setting + "; settings: " + SettingsTable::Names());
        return kExitUsage;
    }
    if (row->perOpen) {
        context.Out().Message(setting + " is kept by the library only while a program keeps the camera open, "
                                        "not by the camera: set it in that program");
        return kExitUsage;
    }
    std::string error;
    const auto checked = SettingValue::FromText(*row, value, error);
    if (!checked) {
        context.Out().Message("set " + setting + ": " + error + " (valid: " + SettingValue::RangeText(*row) +
                              ")");
        return kExitUsage;
    }
    if (const int code = context.OpenCamera(); code != kExitOk) {
        return code;
    }
    const std::vector<int64_t> listed = SettingsTable::CameraList(context.Camera().Handle(), *row);
    if (!listed.empty() && std::find(listed.begin(), listed.end(), checked->get<int64_t>()) == listed.end()) {
        std::string values;
        for (const int64_t entry : listed) {
            values += (values.empty() ? "" : ", ") + std::to_string(entry);
        }
        context.Out().Message("set " + setting + ": " + checked->dump() +
                              " is not among the camera's: " + values);
        return kExitUsage;
    }
    if (const int status = SettingsTable::Apply(context.Camera().Handle(), *row, *checked); status != TF_OK) {
        return context.Fail("set " + setting, status);
    }
    context.Out().Emit({{"name", setting}, {"value", *checked}, {"restartsStream", row->restartsStream}},
                       setting + ": " + SettingValue::ToText(*row, *checked) +
                           (row->restartsStream ? " (stream restarted)" : ""));
    return kExitOk;
}

} // namespace orvane::cli
