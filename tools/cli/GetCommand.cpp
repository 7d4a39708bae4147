// SPDX-License-Identifier: Apache-2.0
// `orvane-cli get NAME`: reads one setting of the settings table from the camera.
#include "GetCommand.h"

#include "CliContext.h"
#include "ExitCodes.h"
#include "SettingValue.h"
#include "SettingsTable.h"

namespace orvane::cli {

void GetCommand::Register(CLI::App &app)
{
    app.add_option("NAME", setting, "the setting: " + SettingsTable::Names())->required();
}

int GetCommand::Run(CliContext &context)
{
    const SettingRow *row = SettingsTable::Find(setting);
    if (row == nullptr) {
        context.Out().Message("no setting named " + setting + "; settings: " + SettingsTable::Names());
        return kExitUsage;
    }
    if (!row->get) {
        context.Out().Message(setting + " can be set but the camera does not report it");
        return kExitUsage;
    }
    if (const int code = context.OpenCamera(); code != kExitOk) {
        return code;
    }
    nlohmann::json value;
    if (const int status = row->get(context.Camera().Handle(), value); status != TF_OK) {
        return context.Fail("get " + setting, status);
    }
    context.Out().Emit({{"name", setting}, {"value", value}}, SettingValue::ToText(*row, value));
    return kExitOk;
}

} // namespace orvane::cli
