// SPDX-License-Identifier: Apache-2.0
// `orvane-cli list [--watch]`: the cameras on the network, and with --watch their arrivals and departures.
#include "ListCommand.h"

#include <chrono>
#include <cstdio>
#include <vector>

#include "CliContext.h"
#include "DeviceText.h"
#include "ExitCodes.h"
#include "Interrupt.h"

namespace orvane::cli {
namespace {

constexpr const char *kTableHeader =
    "URI                              ALIAS                STATUS     SESSIONS  IP";

std::string ListedIp(const TfDeviceInfo &info)
{
    char ip[16] = {};
    return TFCM_GetDeviceIP(info.uri, ip) == TF_OK ? FieldText(ip, sizeof ip) : std::string();
}

} // namespace

void ListCommand::Register(CLI::App &app)
{
    app.add_flag("-w,--watch", watch, "print arrivals and departures as they happen, until Ctrl-C");
}

nlohmann::json ListCommand::CameraRecord(const TfDeviceInfo &info)
{
    // Copies first: the record is packed, and a JSON value binds a reference to what it is made from.
    const uint32_t type = info.devicetype;
    const uint32_t sessions = info.sessionCount;
    return {{"uri", FieldText(info.uri, sizeof info.uri)},
            {"alias", FieldText(info.alias, sizeof info.alias)},
            {"model", DeviceTypeName(type)},
            {"type", type},
            {"status", ConnectStatusName(info.status)},
            {"sessions", sessions},
            {"ip", ListedIp(info)}};
}

std::string ListCommand::CameraLine(const TfDeviceInfo &info)
{
    char line[512];
    std::snprintf(line, sizeof line, "%-32s %-20s %-10s %8u  %s",
                  FieldText(info.uri, sizeof info.uri).c_str(),
                  FieldText(info.alias, sizeof info.alias).c_str(), ConnectStatusName(info.status).c_str(),
                  info.sessionCount, ListedIp(info).c_str());
    return line;
}

void ListCommand::OnHotPlug(const TfDeviceInfo *info, int status, void *context)
{
    auto *self = static_cast<ListCommand *>(context);
    CliOutput *output = self->m_output.load();
    if (info == nullptr || output == nullptr) {
        return;
    }
    const char *event = status == TF_HOTPLUG_ADDED ? "added" : "removed";
    nlohmann::json record = CameraRecord(*info);
    record["event"] = event;
    output->Emit(record, std::string(status == TF_HOTPLUG_ADDED ? "+ " : "- ") + CameraLine(*info));
}

int ListCommand::Run(CliContext &context)
{
    if (const int code = context.InitLibrary(); code != kExitOk) {
        return code;
    }
    CliOutput &out = context.Out();
    if (watch) {
        // Every arrival, the first ones included, comes through the callback; the table header first.
        m_output = &out;
        if (!out.Json()) {
            out.Text("  " + std::string(kTableHeader));
        }
        TFCM_SetHotPlugStatusCallback_(&ListCommand::OnHotPlug, this);
        while (!Interrupt::WaitFor(std::chrono::milliseconds(200))) {
        }
        TFCM_SetHotPlugStatusCallback(nullptr);
        m_output = nullptr;
        return kExitInterrupted;
    }
    if (Interrupt::WaitFor(std::chrono::milliseconds(context.Options().waitMs))) {
        return kExitInterrupted;
    }
    uint32_t count = 0;
    if (const int status = TFCM_GetDeviceCount(&count); status != TF_OK) {
        return context.Fail("TFCM_GetDeviceCount", status);
    }
    std::vector<TfDeviceInfo> list(count);
    if (const int status = count == 0 ? TF_OK : TFCM_GetDeviceListInfo(list.data(), count); status != TF_OK) {
        return context.Fail("TFCM_GetDeviceListInfo", status);
    }
    if (!out.Json()) {
        out.Text(kTableHeader);
    }
    for (const TfDeviceInfo &info : list) {
        out.Emit(CameraRecord(info), CameraLine(info));
    }
    if (list.empty()) {
        out.Message("no camera answered within " + std::to_string(context.Options().waitMs) + " ms");
        return kExitNoCamera;
    }
    return kExitOk;
}

} // namespace orvane::cli
