// SPDX-License-Identifier: Apache-2.0
// `orvane-cli save --format png,ply,raw [--count N] [--out DIR] [--ascii]`: saves sets of frames as
// images, point clouds and raw pixels with their description.
#include "SaveCommand.h"

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "CliContext.h"
#include "DeviceText.h"
#include "ExitCodes.h"
#include "FrameCapture.h"
#include "FrameSaver.h"
#include "Interrupt.h"
#include "StatusNames.h"
#include "StreamChoice.h"

namespace orvane::cli {

void SaveCommand::Register(CLI::App &app)
{
    app.add_option("-f,--format", formats, "png, ply, raw (several separated by commas)")
        ->delimiter(',')
        ->check(CLI::IsMember({"png", "ply", "raw"}));
    app.add_option("-n,--count", count, "sets of frames to save")->check(CLI::Range(1, 1000000));
    app.add_option("-o,--out", out, "the directory to write into (made when missing)");
    app.add_flag("--ascii", ascii, "write PLY as text instead of binary");
    app.add_option("--streams", streams, "the streams to save: depth, ir, confidence, color")
        ->delimiter(',')
        ->check(StreamChoice::Names());
}

bool SaveCommand::Wants(const std::string &format) const
{
    return std::find(formats.begin(), formats.end(), format) != formats.end();
}

int SaveCommand::Run(CliContext &context)
{
    CliOutput &output = context.Out();
    const bool wantsDepth = std::find(streams.begin(), streams.end(), "depth") != streams.end();
    if (Wants("ply") && !wantsDepth) {
        output.Message("ply needs the depth stream (--streams depth,...)");
        return kExitUsage;
    }
    std::error_code error;
    std::filesystem::create_directories(out, error);
    if (error || !std::filesystem::is_directory(out)) {
        output.Message("cannot make the directory " + out + (error ? ": " + error.message() : ""));
        return kExitUsage;
    }
    if (const int code = Prepare(context); code != kExitOk) {
        return code;
    }
    const SaveFormats saveFormats{Wants("png"), Wants("ply"), Wants("raw"), ascii};
    FrameSaver saver(context.Camera().Handle(),
                     FieldText(context.Camera().Info().uri, sizeof(TfDeviceInfo::uri)), out, saveFormats,
                     StreamChoice::Ordered(streams));
    saver.ReadCameraParameters();
    return SaveSets(context, saver);
}

int SaveCommand::Prepare(CliContext &context)
{
    if (const int code = context.OpenCamera(streams); code != kExitOk) {
        return code;
    }
    CameraScope &camera = context.Camera();
    m_mappedColor = false;
    if (Wants("ply") && std::find(streams.begin(), streams.end(), "color") != streams.end()) {
        const int status = TFCM_SetTransformColorImgToDepthCameraEnabled(camera.Handle(), true);
        m_mappedColor = status == TF_OK;
        if (!m_mappedColor) {
            context.Out().Message("points without colour: mapping colour to depth failed with " +
                                  StatusName(status));
        }
    }
    if (const int status = camera.StartStream(); status != TF_OK) {
        return context.Fail("TFCM_StartStream", status);
    }
    return kExitOk;
}

bool SaveCommand::Complete(const FrameCapture &capture, std::string &missing) const
{
    missing.clear();
    for (const StreamKind *kind : StreamChoice::Ordered(streams)) {
        if (capture.Find(kind->type) == nullptr) {
            missing += (missing.empty() ? "" : ", ") + std::string(kind->name);
        }
    }
    if (m_mappedColor && capture.Find(TF_FRAME_COLOR_MAPPED_TO_DEPTH) == nullptr) {
        missing += (missing.empty() ? "" : ", ") + std::string("colour mapped to depth");
    }
    return missing.empty();
}

int SaveCommand::SaveSets(CliContext &context, FrameSaver &saver)
{
    using Clock = std::chrono::steady_clock;
    CliOutput &output = context.Out();
    FrameCapture capture(context.Camera().Handle(), FrameCapture::Pixels::Borrow);
    const Clock::time_point patience = Clock::now() + std::chrono::milliseconds(kCompleteSetWaitMs);
    bool warned = false;
    for (int saved = 0; saved < count && !Interrupt::Requested();) {
        const int status = capture.ReadNext();
        if (status == TF_ERROR_FRAME_TIMEOUT || status == TF_ERROR_NOT_CONNECTED_STREAM) {
            Interrupt::WaitFor(std::chrono::milliseconds(status == TF_ERROR_FRAME_TIMEOUT ? 0 : 50));
            continue;
        }
        if (status != TF_OK) {
            return context.Fail("TFCM_ReadNextFrame", status);
        }
        std::string missing;
        if (!Complete(capture, missing)) {
            const bool anyChosen = std::any_of(streams.begin(), streams.end(), [&](const std::string &name) {
                return capture.Find(StreamChoice::Find(name)->type) != nullptr;
            });
            if (!anyChosen || Clock::now() < patience) {
                continue;
            }
            if (!warned) {
                output.Message("saving sets without " + missing + ": the camera did not send them");
                warned = true;
            }
        }
        std::vector<SavedFile> files;
        std::string error;
        const bool ok = saver.Save(capture, files, error);
        for (const SavedFile &file : files) {
            output.Emit({{"file", file.path},
                         {"stream", file.stream},
                         {"format", file.format},
                         {"frameIndex", file.frameIndex}},
                        file.path);
        }
        if (!ok) {
            output.Message("save: " + error);
            return kExitUsage;
        }
        ++saved;
    }
    return kExitOk;
}

} // namespace orvane::cli
