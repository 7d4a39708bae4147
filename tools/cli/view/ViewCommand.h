// SPDX-License-Identifier: Apache-2.0
// `orvane-cli view [--port N] [--bind ADDR] [--allow-control]`: streams the camera to browser pages until
// Ctrl-C (exit 130) or until the camera is lost (exit 3).
#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

#include "Orvane_api.h"
#include "Subcommand.h"
#include "ViewServer.h"

namespace orvane::cli {

class CameraScope;

class ViewCommand : public Subcommand
{
public:
    const char *Name() const override { return "view"; }
    const char *Description() const override
    {
        return "serve a live view of the camera to a web browser (until Ctrl-C)";
    }
    void Register(CLI::App &app) override;
    int Run(CliContext &context) override;

    ViewOptions options;

private:
    /// Checks a set against the camera's own list, applies it and refreshes the hello message.
    std::string ApplySetting(const ControlRequest &request);
    /// Waits for Ctrl-C or the camera's loss; kExitInterrupted or kExitCameraError.
    int Serve(CliContext &context, ViewServer &server);
    /// True when the camera has left the library's list (or was reported removed).
    bool CameraGone() const;
    /// True when the library lists the camera as usable.
    bool Listed() const;
    static void OnHotPlug(const TfDeviceInfo *info, int status, void *self);

    CameraScope *m_camera = nullptr; // owned by the context, open while Run runs
    std::string m_uri;
    bool m_listed = false; // the camera was in the library's list when opened
    std::atomic<bool> m_removed{false};
    std::mutex m_helloMutex; // guards m_hello
    nlohmann::json m_hello;
};

} // namespace orvane::cli
