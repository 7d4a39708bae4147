// SPDX-License-Identifier: Apache-2.0
// `orvane-cli params dump [FILE]` and `params load FILE`: every setting of the settings table saved as one
// JSON object, and such an object applied to a camera.
#include "ParamsCommand.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "CliContext.h"
#include "ExitCodes.h"
#include "SettingValue.h"
#include "SettingsTable.h"
#include "StatusNames.h"

namespace orvane::cli {

using nlohmann::json;

void ParamsCommand::Register(CLI::App &app)
{
    app.require_subcommand(1);
    m_dump = app.add_subcommand("dump", "write every setting the camera reports as JSON to FILE or stdout");
    m_dump->add_option("FILE", dumpFile, "the file to write (replaced whole)");
    CLI::App *load = app.add_subcommand("load", "apply the settings of a dump, the data mode first");
    load->add_option("FILE", loadFile, "a file written by params dump")->required();
}

bool ParamsCommand::Dumping() const
{
    return m_dump != nullptr && m_dump->parsed();
}

int ParamsCommand::Run(CliContext &context)
{
    return Dumping() ? Dump(context) : Load(context);
}

int ParamsCommand::Dump(CliContext &context)
{
    if (const int code = context.OpenCamera(); code != kExitOk) {
        return code;
    }
    CliOutput &out = context.Out();
    nlohmann::ordered_json values = nlohmann::ordered_json::object();
    for (const SettingRow &row : SettingsTable::Rows()) {
        json value;
        if (!row.get || row.perOpen) {
            continue; // a dump holds what the camera keeps
        }
        if (const int status = row.get(context.Camera().Handle(), value); status != TF_OK) {
            out.Message(std::string(row.name) + ": not saved, " + StatusName(status));
            continue;
        }
        values[row.name] = value;
    }
    if (dumpFile.empty()) {
        out.Emit(json(values), values.dump(2));
        return kExitOk;
    }
    // Written beside the file and renamed over it, so that a failure never leaves half a dump.
    const std::string partial = dumpFile + ".partial";
    {
        std::ofstream file(partial, std::ios::trunc);
        file << values.dump(2) << '\n';
        if (!file.flush()) {
            out.Message("cannot write " + partial);
            std::remove(partial.c_str());
            return kExitUsage;
        }
    }
    if (std::rename(partial.c_str(), dumpFile.c_str()) != 0) {
        out.Message("cannot rename " + partial + " to " + dumpFile);
        std::remove(partial.c_str());
        return kExitUsage;
    }
    out.Emit({{"file", dumpFile}, {"settings", values.size()}},
             "wrote " + std::to_string(values.size()) + " settings to " + dumpFile);
    return kExitOk;
}

int ParamsCommand::ReadLoadFile(CliOutput &out, json &values) const
{
    std::ifstream file(loadFile);
    if (!file) {
        out.Message("cannot read " + loadFile);
        return kExitUsage;
    }
    std::stringstream text;
    text << file.rdbuf();
    const json parsed = json::parse(text.str(), nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object()) {
        out.Message(loadFile + " is not a JSON object of settings");
        return kExitUsage;
    }
    int faults = 0;
    values = json::object();
    for (const auto &[name, value] : parsed.items()) {
        const SettingRow *row = SettingsTable::Find(name);
        std::string error = "no such setting";
        const auto checked = row != nullptr ? SettingValue::FromJson(*row, value, error) : std::nullopt;
        if (!checked) {
            out.Message(loadFile + ": " + name + ": " + error);
            ++faults;
            continue;
        }
        values[name] = *checked;
    }
    return faults == 0 ? kExitOk : kExitUsage;
}

int ParamsCommand::Load(CliContext &context)
{
    CliOutput &out = context.Out();
    json values;
    if (const int code = ReadLoadFile(out, values); code != kExitOk) {
        return code; // nothing is applied from a file with faults
    }
    if (const int code = context.OpenCamera(); code != kExitOk) {
        return code;
    }
    const TfDeviceHandle device = context.Camera().Handle();
    int failures = 0;
    // Table order: the data mode before the range, output and exposure it governs.
    for (const SettingRow &row : SettingsTable::Rows()) {
        if (!values.contains(row.name)) {
            continue;
        }
        if (row.perOpen) {
            out.Message(std::string(row.name) +
                        ": skipped, kept by the library only while the camera is open");
            continue;
        }
        const json &wanted = values[row.name];
        json current;
        bool unchanged = false;
        if (row.get && row.get(device, current) == TF_OK) {
            // A structured value compares only the fields it names; what is already so is not sent again
            // (a data mode or range written anew would restart the stream for nothing).
            json merged = current;
            if (merged.is_object() && wanted.is_object()) {
                merged.update(wanted);
            } else {
                merged = wanted;
            }
            unchanged = merged == current;
        }
        const int status = unchanged ? TF_OK : SettingsTable::Apply(device, row, wanted);
        const std::string result = unchanged ? "unchanged" : status == TF_OK ? "set" : StatusName(status);
        failures += status == TF_OK ? 0 : 1;
        out.Emit({{"name", row.name}, {"value", wanted}, {"result", result}},
                 std::string(row.name) + ": " + SettingValue::ToText(row, wanted) + " (" + result + ")");
    }
    if (failures != 0) {
        out.Message(std::to_string(failures) + " setting(s) of " + loadFile + " failed");
        return kExitCameraError;
    }
    return kExitOk;
}

} // namespace orvane::cli
