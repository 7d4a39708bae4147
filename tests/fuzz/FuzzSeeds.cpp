// SPDX-License-Identifier: Apache-2.0
// fuzz_seeds_protocol: writes the seed inputs of the protocol fuzz targets, each made of what the
// simulated camera sends: its replies to each operation's queries, its status record and calibration
// block, a firmware image it installs, and the names and requests of its uploads.
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "CommandFrame.h"
#include "CommandOps.h"
#include "FakeSession.h"
#include "FuzzCamera.h"
#include "SimAppliedState.h"
#include "SimCommandSet.h"
#include "SimFirmwareImage.h"
#include "SimSettings.h"
#include "SimStreamer.h"
#include "protocol/PropertyKeys.h"
#include "session/FilterSettings.h"
#include "session/SessionModeLists.h"
#include "session/SessionProperties.h"
#include "transfer/UploadRules.h"

namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

fs::path g_root;

void Write(const std::string &target, const std::string &name, const Bytes &bytes)
{
    const fs::path dir = g_root / target;
    fs::create_directories(dir);
    std::ofstream(dir / name, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void Append(Bytes &to, const Bytes &bytes)
{
    to.insert(to.end(), bytes.begin(), bytes.end());
}

void Append(Bytes &to, const std::string &text, bool nul = true)
{
    to.insert(to.end(), text.begin(), text.end());
    if (nul) {
        to.push_back(0);
    }
}

/// The camera's replies to every query `run` sends: the operation is run again with one more answer
/// each time until it asks nothing new.
Bytes Replies(FuzzCamera &camera, const std::function<void()> &run)
{
    const SimSettings settings;
    Bytes replies;
    for (size_t answered = 0; answered < 8; ++answered) {
        camera.Load(replies.data(), replies.size(), nullptr, 0);
        run();
        const Bytes sent = camera.TakeSent();
        size_t at = 0;
        size_t queries = 0;
        RecordedFrame query;
        while (at < sent.size()) {
            RecordedFrame frame;
            const auto parsed = CommandFrame::ParseRequest(sent.data() + at, sent.size() - at, frame);
            if (parsed.status != CommandFrame::ParseStatus::Frame) {
                break;
            }
            at += parsed.consumed;
            if ((frame.command & SimCommandSet::kQueryBit) != 0 && queries++ == answered) {
                query = frame;
            }
        }
        if (queries <= answered) {
            break;
        }
        Append(replies,
               CommandFrame::EncodeReply(query.command,
                                         SimCommandSet::AnswerQuery(settings, query.command, query.payload)));
    }
    return replies;
}

void CommandSeeds(FuzzCamera &camera)
{
    for (size_t i = 0; i < kCommandOpCount; ++i) {
        const uint8_t arg = 0x2F; // a text of 48 bytes, three registers, capacity 752
        Bytes input{0, static_cast<uint8_t>(i), arg};
        if (std::string(kCommandOps[i].name) == "ReadData") {
            const Bytes stream{1, 0, 0, 0, 8, 0, 0, 0, 0x2C, 1, 2, 3, 4, 5, 6, 7};
            Append(input, stream);
        } else {
            Append(input, Replies(camera, [&]() { kCommandOps[i].run(camera.Protocol(), arg); }));
        }
        Write("command_fuzz", kCommandOps[i].name, input);
    }
}

void PropertySeeds(FuzzCamera &camera)
{
    struct Seed
    {
        const char *name;
        uint8_t keyIndex; // in the target's key table
        bool set;
        Bytes value;
    };
    const std::vector<Seed> seeds = {
        {"get_status", 0, false, Bytes(59)},
        {"get_mode_list", 1, false, Bytes(33)},
        {"set_mode_list", 1, true, {3, 1, 2, 5}},
        {"get_range_list", 2, false, Bytes(10)},
        {"set_range_list", 2, true, {2, 0, 1}},
        {"get_tal_delay", 4, false, Bytes(11)},
        {"get_device_sn", 6, false, Bytes(32)},
        {"set_device_sn", 6, true, {'S', 'N', '1', '2'}},
        {"get_mac", 7, false, Bytes(18)},
        {"set_ip", 9, true, {'1', '2', '7', '.', '0', '.', '0', '.', '2'}},
        {"get_dsp_status", 11, false, Bytes(8)},
        {"set_dsp_status", 11, true, {1, 0, 0, 0, 0, 1, 9, 0}},
        {"temperature_offset", 16, true, {1}},
        {"heartbeat", 17, false, Bytes(4)},
    };
    for (const Seed &seed : seeds) {
        FakeSession session;
        std::atomic<uint8_t> dataMode{1};
        FilterSettings filters(dataMode);
        SessionModeLists lists;
        SessionProperties properties(session, lists, filters);
        properties.Attach(&camera.Protocol(), nullptr);
        Bytes input{static_cast<uint8_t>((seed.keyIndex << 1) | (seed.set ? 1 : 0)),
                    static_cast<uint8_t>(seed.value.size() + 4), 1};
        Append(input, seed.value);
        static const int32_t keys[] = {kSessionStatus,
                                       kSessionModeList,
                                       kSessionRangeList,
                                       kSessionTimeFilteredDepth,
                                       kSessionTalDelay,
                                       kSession11,
                                       kSessionDeviceSn,
                                       kSessionMacAddress,
                                       kSessionSoftwareVersion,
                                       kSessionIpAddress,
                                       kSessionSubnetMask,
                                       kSessionDspStatus,
                                       kSession18,
                                       kSession19,
                                       kSessionDebugFirst,
                                       kSessionDebugLast,
                                       kSessionTemperatureOffset,
                                       kSessionHeartbeat};
        Bytes value = seed.value;
        Append(input, Replies(camera, [&]() {
                   int size = static_cast<int>(value.size());
                   if (seed.set) {
                       properties.SetProperty(keys[seed.keyIndex], value.data(), size);
                   } else {
                       properties.GetProperty(keys[seed.keyIndex], value.data(), &size);
                   }
               }));
        Write("property_fuzz", seed.name, input);
    }
}

void RecordSeeds()
{
    const SimSettings settings;
    const Bytes status = SimStreamer::EncodeStatus(SimAppliedState::From(settings), 41, 38);
    Write("status_fuzz", "status", status);
    Write("status_fuzz", "short_status", Bytes(status.begin(), status.begin() + 20));
    Bytes calibration = SimStreamer::EncodeCalibration(settings);
    Write("calibration_fuzz", "block", calibration);
    for (uint8_t switches : {0x1C, 0x1F, 0x18}) {
        Bytes input = calibration;
        Append(input, Bytes{switches, 0x05, 0x00, 0x02, 0xD0}); // 1280 x 720
        Write("calibration_fuzz", "block_switches_" + std::to_string(switches), input);
    }
}

void FirmwareSeeds()
{
    const SimSettings settings;
    for (uint8_t sub : {3, 4}) {
        Bytes input{4}; // device type 520
        Append(input, settings.firmwareVersion);
        Append(input, SimFirmwareImage::Build("20260301", sub, 2048));
        Write("firmware_fuzz", "image_sub" + std::to_string(sub), input);
    }
    Bytes older{5};
    Append(older, settings.firmwareVersion);
    Append(older, SimFirmwareImage::Build("20250101", 3, 600));
    Write("firmware_fuzz", "older_image", older);
}

void UploadSeeds()
{
    const std::string tag = "SN0123456789";
    const std::string name = "planeness_" + tag + "_1.bin";
    const Bytes chunk(300, 7);
    const uint32_t sum = UploadRules::Checksum(chunk.data(), chunk.size());
    for (const char *offset : {"0", "300", "0x12c"}) {
        Bytes input{0, 1, 44, static_cast<uint8_t>(sum), 0, 0, 1, 44, 0, 0, 0x10, 0};
        Append(input, name);
        Append(input, offset);
        Append(input, std::to_string(chunk.size()));
        Append(input, std::to_string(sum + 256));
        Append(input, name);
        Append(input, tag);
        Append(input, "./Config/", false);
        Write("upload_fuzz", std::string("chunk_at_") + offset, input);
    }
}

void TransferPathSeeds()
{
    const std::vector<std::pair<std::string, Bytes>> fields = {{"firmware", {1, 0, 0, 0, 0, 0, 0}},
                                                               {"planeness", {5, 2, 1, 0, 0, 1, 0}},
                                                               {"background", {7, 0, 0, 0, 0, 0, 0}}};
    const std::vector<std::string> paths = {"/home/u/images/fw_20260301.img", "C:\\cal\\intrinsic.bin",
                                            "relative/config.json"};
    for (size_t i = 0; i < fields.size(); ++i) {
        Bytes input = fields[i].second;
        Append(input, paths[i]);
        Append(input, "127.0.0.1");
        Append(input, "SN0123456789", false);
        Write("transfer_path_fuzz", fields[i].first, input);
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <seed directory>\n", argv[0]);
        return 2;
    }
    g_root = argv[1];
    FuzzCamera camera;
    CommandSeeds(camera);
    PropertySeeds(camera);
    RecordSeeds();
    FirmwareSeeds();
    UploadSeeds();
    TransferPathSeeds();
    return 0;
}
