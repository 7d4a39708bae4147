// SPDX-License-Identifier: Apache-2.0
// `orvane-cli upgrade IMAGE [--yes]`: installs a firmware image on the camera, with a progress bar, and
// waits for the camera to come back running the new version.
#include "UpgradeCommand.h"

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>

#include "CliContext.h"
#include "DeviceText.h"
#include "ExitCodes.h"
#include "Interrupt.h"
#include "ProgressBar.h"

namespace orvane::cli {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWritingStatus = 5;  // its params are the per cent written
constexpr int kNoRebootMs = 60000; // a camera answering with its old version this long did not reboot

/// What the upgrade callback reported. The callback carries no context, so this is process-wide; only
/// one upgrade runs at a time.
struct UpgradeReports
{
    std::mutex mutex;
    std::condition_variable changed;
    CliOutput *output = nullptr; // guarded by mutex; null while no upgrade is followed
    ProgressBar *bar = nullptr;  // guarded by mutex
    bool finished = false;       // guarded by mutex
    int status = 0;              // guarded by mutex
    int params = 0;              // guarded by mutex
};

UpgradeReports &Reports()
{
    static UpgradeReports reports;
    return reports;
}

void OnUpgradeStatus(int status, int params)
{
    UpgradeReports &r = Reports();
    std::lock_guard<std::mutex> lock(r.mutex);
    if (r.output == nullptr) {
        return;
    }
    if (status == kWritingStatus && params >= 0) {
        r.bar->Update(params);
    } else {
        r.bar->Finish();
        r.output->Emit({{"event", "upgrade"},
                        {"status", status},
                        {"params", params},
                        {"text", UpgradeCommand::Describe(status, params)}},
                       UpgradeCommand::Describe(status, params));
    }
    if (UpgradeCommand::IsFinal(status, params)) {
        r.finished = true;
        r.status = status;
        r.params = params;
        r.changed.notify_all();
    }
}

/// Reports the camera leaving and coming back while it reboots. Process-wide, like the upgrade reports:
/// a late notification finds it still there.
struct RebootWatch
{
    std::mutex mutex;
    CliOutput *output = nullptr; // guarded by mutex; null while nothing is watched
    std::string uri;             // guarded by mutex
    bool left = false;           // guarded by mutex; an arrival counts only after a departure
};

RebootWatch &Watch()
{
    static RebootWatch watch;
    return watch;
}

void OnHotPlug(const TfDeviceInfo *info, int status, void *)
{
    RebootWatch &w = Watch();
    std::lock_guard<std::mutex> lock(w.mutex);
    if (info == nullptr || w.output == nullptr || FieldText(info->uri, sizeof info->uri) != w.uri) {
        return;
    }
    const bool added = status == TF_HOTPLUG_ADDED;
    if (added && !w.left) {
        return; // the listing replayed at registration, or a camera that never left
    }
    w.left = !added;
    w.output->Emit({{"event", added ? "added" : "removed"}, {"uri", w.uri}},
                   w.uri + (added ? " is back" : " left"));
}

std::string FirmwareVersion(TfDeviceHandle device)
{
    char version[128] = {};
    return TFCM_GetFirmwareVersionNumber(device, version, sizeof version - 1) == TF_OK
               ? FieldText(version, sizeof version - 1)
               : std::string();
}

} // namespace

void UpgradeCommand::Register(CLI::App &app)
{
    app.add_option("IMAGE", image, "the firmware image file")->required();
    app.add_flag("-y,--yes", yes, "upgrade without asking");
    app.add_option("--timeout", timeoutS, "seconds for the whole upgrade, the camera's return included")
        ->check(CLI::Range(1, 86400));
}

std::string UpgradeCommand::Describe(int status, int params)
{
    switch (status) {
    case 2:
        return "the camera did not come back in upgrade mode";
    case 4:
        return params == 1 ? "the camera accepted the image" : "the camera refused the image";
    case kWritingStatus:
        return params == -1 ? "the camera stopped writing" : "writing";
    case 6:
        return params == 1 ? "the camera finished its first step after writing"
                           : "the camera's first step failed";
    case 7:
        return params == 1 ? "the camera finished its second step after writing"
                           : "the camera's second step failed";
    case 8:
        return params == 1 ? "upgrade finished; the camera reboots" : "the upgrade failed on the camera";
    default:
        return "the camera made no progress for too long";
    }
}

bool UpgradeCommand::IsFinal(int status, int params)
{
    return status == 8 || params == -1 || (status != kWritingStatus && params != 1);
}

bool UpgradeCommand::Confirm(CliOutput &out, const std::string &uri, const std::string &version) const
{
    if (yes) {
        return true;
    }
    if (isatty(STDIN_FILENO) == 0) {
        out.Message("not asking without a terminal: add --yes to upgrade");
        return false;
    }
    std::cerr << "Upgrade " << uri << " from " << version << " with " << image << "? [y/N] " << std::flush;
    std::string answer;
    std::getline(std::cin, answer);
    return answer == "y" || answer == "Y" || answer == "yes";
}

std::string UpgradeCommand::AwaitNewVersion(CliOutput &out, const std::string &uri,
                                            const std::string &oldVersion, int timeoutMs)
{
    // The camera reboots, leaves and comes back; until it has left, it answers with the old version.
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const auto stayedTooLong = Clock::now() + std::chrono::milliseconds(kNoRebootMs);
    {
        std::lock_guard<std::mutex> lock(Watch().mutex);
        Watch().output = &out;
        Watch().uri = uri;
        Watch().left = false;
    }
    TFCM_SetHotPlugStatusCallback_(&OnHotPlug, nullptr);
    bool gone = false;
    std::string version;
    while (Clock::now() < deadline && !Interrupt::Requested()) {
        const std::optional<std::string> answer = ReadVersion(uri);
        gone = gone || !answer;
        if (answer && (*answer != oldVersion || gone || Clock::now() > stayedTooLong)) {
            version = *answer;
            break;
        }
        Interrupt::WaitFor(std::chrono::milliseconds(200));
    }
    TFCM_SetHotPlugStatusCallback_(nullptr, nullptr);
    std::lock_guard<std::mutex> lock(Watch().mutex);
    Watch().output = nullptr;
    return version;
}

std::optional<std::string> UpgradeCommand::ReadVersion(const std::string &uri)
{
    TfDeviceHandle device = nullptr;
    if (TFCM_OpenDevice(uri.c_str(), &device) != TF_OK) {
        return std::nullopt;
    }
    const std::string version = FirmwareVersion(device);
    TFCM_CloseDevice(&device);
    return version.empty() ? std::nullopt : std::optional<std::string>(version);
}

int UpgradeCommand::Run(CliContext &context)
{
    CliOutput &out = context.Out();
    std::error_code error;
    const std::filesystem::path path = std::filesystem::absolute(image, error);
    if (error || !std::filesystem::is_regular_file(path, error) || !std::ifstream(path, std::ios::binary)) {
        out.Message("cannot read the image " + image);
        return kExitUsage;
    }
    if (const int code = context.OpenCamera(); code != kExitOk) {
        return code;
    }
    const TfDeviceHandle device = context.Camera().Handle();
    const std::string uri = FieldText(context.Camera().Info().uri, sizeof context.Camera().Info().uri);
    const std::string oldVersion = FirmwareVersion(device);
    if (!Confirm(out, uri, oldVersion)) {
        return kExitUsage;
    }
    const auto deadline = Clock::now() + std::chrono::seconds(timeoutS);
    UpgradeReports &r = Reports();
    ProgressBar bar(out, "writing " + path.filename().string(), ProgressBar::StyleFor(out));
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        r.output = &out;
        r.bar = &bar;
        r.finished = false;
    }
    int status = TFCM_SetUpgradeStatusCallback(device, &OnUpgradeStatus);
    if (status == TF_OK) {
        status = TFCM_StartUpgradeFirmWare(device, path.c_str());
    }
    bool finished = false;
    int finalStatus = 0;
    int finalParams = 0;
    if (status == TF_OK) {
        std::unique_lock<std::mutex> lock(r.mutex);
        while (!r.finished && !Interrupt::Requested() && Clock::now() < deadline) {
            r.changed.wait_for(lock, std::chrono::milliseconds(100));
        }
        finished = r.finished;
        finalStatus = r.status;
        finalParams = r.params;
    }
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        bar.Finish();
        r.output = nullptr;
        r.bar = nullptr;
    }
    if (status != TF_OK) {
        return context.Fail("upgrade", status);
    }
    if (!finished) {
        out.Message(Interrupt::Requested() ? "interrupted: the camera carries on with the upgrade"
                                           : "no final report from the camera in time");
        return Interrupt::Requested() ? kExitInterrupted : kExitCameraError;
    }
    if (finalStatus != 8 || finalParams != 1) {
        out.Message("upgrade failed: " + Describe(finalStatus, finalParams) + " (" +
                    std::to_string(finalStatus) + ", " + std::to_string(finalParams) + ")");
        return kExitCameraError;
    }
    // The handle belongs to the camera as it was before its reboot.
    context.CloseCamera();
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    const std::string newVersion =
        AwaitNewVersion(out, uri, oldVersion, static_cast<int>(std::max<int64_t>(left, 0)));
    if (newVersion.empty()) {
        out.Message(uri + " did not come back in time");
        return Interrupt::Requested() ? kExitInterrupted : kExitCameraError;
    }
    if (newVersion == oldVersion) {
        out.Message(uri + " still runs firmware " + oldVersion);
        return kExitCameraError;
    }
    out.Emit({{"uri", uri}, {"from", oldVersion}, {"firmware", newVersion}},
             uri + " now runs firmware " + newVersion + " (was " + oldVersion + ")");
    return kExitOk;
}

} // namespace orvane::cli
