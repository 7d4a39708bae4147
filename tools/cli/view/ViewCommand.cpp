// SPDX-License-Identifier: Apache-2.0
// `orvane-cli view [--port N] [--bind ADDR] [--allow-control]`: streams the camera to browser pages until
// Ctrl-C (exit 130) or until the camera is lost (exit 3).
#include "ViewCommand.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "CliContext.h"
#include "DeviceText.h"
#include "ExitCodes.h"
#include "FrameSource.h"
#include "Interrupt.h"
#include "StatusNames.h"
#include "ViewHello.h"

namespace orvane::cli {

void ViewCommand::Register(CLI::App &app)
{
    app.add_option("--port", options.port, "the TCP port to serve on (0: any free port)")
        ->check(CLI::Range(0, 65535));
    app.add_option("--bind", options.bind, "the address to serve on (others can reach it unless loopback)")
        ->check(CLI::ValidIPV4);
    app.add_flag("--allow-control", options.allowControl, "let the page change the camera's settings");
}

void ViewCommand::OnHotPlug(const TfDeviceInfo *info, int status, void *self)
{
    auto *command = static_cast<ViewCommand *>(self);
    if (info != nullptr && status == TF_HOTPLUG_REMOVED &&
        FieldText(info->uri, sizeof info->uri) == command->m_uri) {
        command->m_removed = true;
    }
}

bool ViewCommand::Listed() const
{
    uint32_t count = 0;
    if (TFCM_GetDeviceCount(&count) != TF_OK || count == 0) {
        return false;
    }
    std::vector<TfDeviceInfo> list(count);
    if (TFCM_GetDeviceListInfo(list.data(), count) != TF_OK) {
        return true; // cannot tell: not taken for a loss
    }
    return std::any_of(list.begin(), list.end(), [&](const TfDeviceInfo &info) {
        return FieldText(info.uri, sizeof info.uri) == m_uri && info.status != TF_CONNECT_LOST &&
               info.status != TF_CONNECT_REMOVED;
    });
}

bool ViewCommand::CameraGone() const
{
    // A camera opened by address without a listing is known lost only by the notification.
    return m_removed || (m_listed && !Listed());
}

std::string ViewCommand::ApplySetting(const ControlRequest &request)
{
    const TfDeviceHandle device = m_camera->Handle();
    const SettingRow &row = *request.row;
    const std::vector<int64_t> listed = SettingsTable::CameraList(device, row);
    if (!listed.empty() && request.value.is_number_integer() &&
        std::find(listed.begin(), listed.end(), request.value.get<int64_t>()) == listed.end()) {
        std::string values;
        for (const int64_t entry : listed) {
            values += (values.empty() ? "" : ", ") + std::to_string(entry);
        }
        return request.value.dump() + " is not among the camera's: " + values;
    }
    if (const int status = SettingsTable::Apply(device, row, request.value); status != TF_OK) {
        return StatusName(status) + " (" + std::to_string(status) + ")";
    }
    nlohmann::json hello = ViewHello::Hello(device, m_camera->Info(), m_camera->Ip(), true);
    std::lock_guard<std::mutex> lock(m_helloMutex);
    m_hello = std::move(hello);
    return "";
}

int ViewCommand::Run(CliContext &context)
{
    if (const int code = context.OpenCamera({"depth", "ir", "confidence", "color"}); code != kExitOk) {
        return code;
    }
    m_camera = &context.Camera();
    if (const int status = m_camera->StartStream(); status != TF_OK) {
        return context.Fail("TFCM_StartStream", status);
    }
    const TfDeviceHandle device = m_camera->Handle();
    m_uri = FieldText(m_camera->Info().uri, sizeof m_camera->Info().uri);
    m_removed = false;
    m_listed = Listed();
    m_hello = ViewHello::Hello(device, m_camera->Info(), m_camera->Ip(), options.allowControl);

    CliOutput &out = context.Out();
    const ImageSizes sizes = ViewHello::ModeSizes(device);
    FrameSource *source = nullptr;
    ViewCamera camera;
    camera.hello = [this] {
        std::lock_guard<std::mutex> lock(m_helloMutex);
        return m_hello;
    };
    camera.intrinsics = [device](const ImageSizes &now) { return ViewHello::Intrinsics(device, now); };
    camera.set = [this](const ControlRequest &request) { return ApplySetting(request); };
    camera.drops = [&source] { return source != nullptr ? source->Drops() : CameraDrops{}; };
    ViewServer server(options, out, camera, sizes);
    FrameSource frames(device, server, out, sizes);
    source = &frames;
    std::string error;
    if (!server.Start(error)) {
        out.Message("viewer: " + error);
        return kExitUsage;
    }
    frames.Start();
    out.Message("viewer: " + server.Url());
    if (out.Json()) {
        out.Emit({{"event", "listening"}, {"url", server.Url()}}, "");
    }
    TFCM_SetHotPlugStatusCallback_(&ViewCommand::OnHotPlug, this);
    const int code = Serve(context, server);
    TFCM_SetHotPlugStatusCallback_(nullptr, nullptr);
    frames.Stop();
    server.Stop();
    source = nullptr;
    m_camera = nullptr;
    return code;
}

int ViewCommand::Serve(CliContext &context, ViewServer &server)
{
    auto nextCheck = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (!Interrupt::WaitFor(std::chrono::milliseconds(100))) {
        if (m_removed || std::chrono::steady_clock::now() >= nextCheck) {
            nextCheck = std::chrono::steady_clock::now() + std::chrono::seconds(1);
            if (CameraGone()) {
                const std::string message = "camera lost: " + m_uri;
                context.Out().Message("viewer: " + message);
                server.Broadcast({{"type", "error"}, {"message", message}});
                server.WaitFlushed(std::chrono::milliseconds(1000));
                return kExitCameraError;
            }
        }
    }
    return kExitInterrupted;
}

} // namespace orvane::cli
