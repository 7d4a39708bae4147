// SPDX-License-Identifier: Apache-2.0
// record, replay and inspect against a simulated camera (127.0.0.236): what orvane-cli records is what the
// library delivers, and what replay writes out is what was recorded, bit for bit.
#include "CameraSimulator.h"
#include "HotPlugRecorder.h"
#include "Orvane_api.h"
#include "RecordingReader.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
[[maybe_unused]] const ::testing::Environment *const g_environment =
    ::testing::AddGlobalTestEnvironment(orvtest::ApiLoopbackEnvironment());

using orvane::cli::record::FrameSet;
using orvane::cli::record::ReadStatus;
using orvane::cli::record::RecordingReader;
using Frame = orvane::cli::record::RecordedFrame;

constexpr const char *kAddress = "127.0.0.236";
constexpr unsigned kRunBoundMs = 25000;

/// Starts orvane-cli with `args`, its standard output into `dir`/cli.out and its home in `dir`.
pid_t StartCli(const std::string &dir, const std::vector<std::string> &args)
{
    std::vector<char *> argv{const_cast<char *>(ORVANE_CLI_PATH)};
    for (const std::string &arg : args) {
        argv.push_back(const_cast<char *>(arg.c_str()));
    }
    argv.push_back(nullptr);
    const std::string home = "HOME=" + dir;
    char *envp[] = {const_cast<char *>(home.c_str()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, (dir + "/cli.out").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t child = -1;
    EXPECT_EQ(posix_spawn(&child, ORVANE_CLI_PATH, &actions, nullptr, argv.data(), envp), 0);
    posix_spawn_file_actions_destroy(&actions);
    return child;
}

/// Waits for the CLI to end (killing it after a bound); its exit code, or -1 when it had to be killed.
int FinishCli(const std::string &dir, pid_t child, std::string &out)
{
    int status = 0;
    const bool ended =
        orvtest::WaitUntil([&] { return waitpid(child, &status, WNOHANG) == child; }, kRunBoundMs);
    if (!ended) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
    }
    out = orvtest::ReadFile(dir + "/cli.out");
    return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int RunCli(const std::string &dir, const std::vector<std::string> &args, std::string &out)
{
    return FinishCli(dir, StartCli(dir, args), out);
}

/// The frames of one read through the library in this process, copied as the recorder copies them; what
/// went wrong, or empty.
std::string CaptureDirectly(FrameSet &set)
{
    if (TFCM_Initialize() != TF_OK) {
        return "TFCM_Initialize failed";
    }
    TfDeviceHandle device = nullptr;
    orvtest::WaitUntil([&] { return TFCM_OpenDeviceByIP(kAddress, &device) == TF_OK; }, orvtest::kWaitMs);
    bool complete = false;
    // The streams record switches on.
    int lastStatus = TF_ERROR_DEVICE_NOT_FOUND;
    if (device != nullptr && TFCM_SetDepthFrameEnabled(device, true) == TF_OK &&
        TFCM_SetIrFrameEnabled(device, true) == TF_OK &&
        TFCM_SetConfidenceFrameEnabled(device, true) == TF_OK &&
        TFCM_SetColorFrameEnabled(device, true) == TF_OK) {
        lastStatus = TFCM_StartStream(device);
    }
    if (lastStatus == TF_OK) {
        // A few sets in, so that the stream has settled as it has during a recording.
        for (int read = 0; read < 40 && !complete; ++read) {
            TfFrameReady ready{};
            lastStatus = TFCM_ReadNextFrame(device, &ready);
            if (lastStatus != TF_OK || read < 5) {
                continue;
            }
            set.frames.clear();
            for (const TfFrameType type :
                 {TF_FRAME_DEPTH, TF_FRAME_IR, TF_FRAME_CONFIDENCE, TF_FRAME_COLOR}) {
                TfFrame frame{};
                if (TFCM_GetFrame(device, type, &frame) == TF_OK && frame.pFrameData != nullptr) {
                    Frame copy;
                    copy.frameType = frame.frameType;
                    copy.width = frame.width;
                    copy.height = frame.height;
                    copy.pixels.assign(frame.pFrameData, frame.pFrameData + frame.dataLen);
                    set.frames.push_back(copy);
                }
            }
            complete = set.frames.size() == 4;
        }
        TFCM_StopStream(device);
    }
    if (device != nullptr) {
        TFCM_CloseDevice(&device);
    }
    TFCM_Shutdown();
    return complete ? std::string()
                    : "no set of four frames (last status " + std::to_string(lastStatus) + ", " +
                          std::to_string(set.frames.size()) + " frames)";
}

TEST(RecordReplayLoopbackTest, ReplayGivesBackTheRecordedFramesAndTheyAreTheCamerasFrames)
{
    orvtest::TempDir dir;
    CameraSimulator::Options options;
    options.announcePeriodMs = 100;
    CameraSimulator sim(options);
    SimCameraConfig config;
    config.serial = "SNREC236";
    config.address = kAddress;
    sim.AddCamera(config).UpdateSettings([&](SimSettings &settings) {
        settings.serial = config.serial;
        settings.deviceSerial = config.serial;
        settings.ipAddress = config.address;
    });
    sim.Start();

    // The simulated scene stands still and has no noise, so every set the camera sends decodes the same.
    FrameSet direct;
    ASSERT_EQ(CaptureDirectly(direct), "");

    const std::string file = dir.Path() + "/take.orvrec";
    std::string out;
    ASSERT_EQ(
        RunCli(dir.Path(), {"--ip", kAddress, "--wait", "8000", "--json", "record", file, "-t", "2"}, out), 0)
        << out;
    const nlohmann::json summary = nlohmann::json::parse(out.substr(0, out.find('\n')));
    EXPECT_EQ(summary["frameSetsDropped"], 0);

    RecordingReader reader;
    ASSERT_TRUE(reader.Open(file)) << reader.GetError();
    EXPECT_EQ(reader.GetHeader()["camera"]["serialNumber"], config.serial);
    EXPECT_TRUE(reader.GetHeader().contains("tofIntrinsics"));
    std::vector<FrameSet> recorded;
    for (FrameSet set; reader.Next(set).status == ReadStatus::kFrameSet;) {
        recorded.push_back(set);
    }
    ASSERT_GE(recorded.size(), 10u);
    EXPECT_EQ(summary["frameSetsWritten"], recorded.size());
    for (const FrameSet &set : recorded) {
        for (const Frame &frame : set.frames) {
            const auto same = std::find_if(direct.frames.begin(), direct.frames.end(),
                                           [&](const Frame &d) { return d.frameType == frame.frameType; });
            ASSERT_NE(same, direct.frames.end());
            EXPECT_TRUE(same->pixels == frame.pixels)
                << "frame " << frame.frameIndex << " type " << frame.frameType;
        }
    }

    const std::string frames = dir.Path() + "/frames";
    ASSERT_EQ(RunCli(dir.Path(), {"replay", file, "--to-dir", frames, "--rate", "0"}, out), 0) << out;
    static const std::map<uint32_t, std::string> kNames = {
        {0, "depth"}, {1, "ir"}, {8, "confidence"}, {3, "color"}};
    for (size_t s = 0; s < recorded.size(); ++s) {
        for (const Frame &frame : recorded[s].frames) {
            char stem[64];
            std::snprintf(stem, sizeof stem, "/set%06zu-%s", s, kNames.at(frame.frameType).c_str());
            const std::string raw = orvtest::ReadFile(frames + stem + ".raw");
            ASSERT_TRUE(std::vector<uint8_t>(raw.begin(), raw.end()) == frame.pixels) << stem;
        }
    }
    ASSERT_EQ(RunCli(dir.Path(), {"--json", "inspect", file}, out), 0) << out;
    EXPECT_EQ(nlohmann::json::parse(out)["summary"]["frameSets"], recorded.size());

    // Ctrl-C in the middle of a recording without a time limit: exit 130 and a file that ends whole.
    const std::string interrupted = dir.Path() + "/interrupted.orvrec";
    const pid_t child = StartCli(dir.Path(), {"--ip", kAddress, "--wait", "8000", "record", interrupted});
    EXPECT_TRUE(orvtest::WaitUntil([&] {
        struct stat info
        {
        };
        return stat(interrupted.c_str(), &info) == 0 && info.st_size > 20'000'000;
    }));
    kill(child, SIGINT);
    EXPECT_EQ(FinishCli(dir.Path(), child, out), 130) << out;
    RecordingReader again;
    ASSERT_TRUE(again.Open(interrupted)) << again.GetError();
    FrameSet set;
    ReadStatus status = ReadStatus::kFrameSet;
    while ((status = again.Next(set).status) == ReadStatus::kFrameSet) {
    }
    EXPECT_EQ(status, ReadStatus::kEnd);
    sim.Stop();
}

} // namespace
