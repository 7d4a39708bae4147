// SPDX-License-Identifier: Apache-2.0
// fuzz_seeds: writes the seed inputs of the protocol and pipeline fuzz targets, each in its target's input
// layout and made of what the simulated camera sends: its replies to each operation's queries, its status
// record and calibration block, a firmware image it installs, the names and requests of its uploads, and
// the stream buffers, ToF blocks and colour packets its encoders write. Usage: fuzz_seeds <directory>.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "CommandFrame.h"
#include "CommandOps.h"
#include "FakeSession.h"
#include "FuzzCamera.h"
#include "RawTofEncoder.h"
#include "Scene.h"
#include "SimAppliedState.h"
#include "SimColorEncoder.h"
#include "SimCommandSet.h"
#include "SimFirmwareImage.h"
#include "SimSettings.h"
#include "SimStreamer.h"
#include "runtime/ByteReader.h"
#include "session/FilterSettings.h"
#include "session/SessionModeLists.h"
#include "session/SessionProperties.h"
#include "transfer/UploadRules.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::filesystem::path g_root;

void Write(const std::string &target, const std::string &name, const Bytes &bytes)
{
    std::filesystem::create_directories(g_root / target);
    std::ofstream file(g_root / target / name, std::ios::binary);
    file.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!file) {
        std::fprintf(stderr, "cannot write the seed %s/%s\n", target.c_str(), name.c_str());
        std::exit(1);
    }
}

/// Appends `count` bytes of `bytes` from `from` on (all of them by default).
void Append(Bytes &to, const Bytes &bytes, size_t from = 0, size_t count = SIZE_MAX)
{
    to.insert(to.end(), bytes.begin() + long(from),
              bytes.begin() + long(std::min(bytes.size(), from + count)));
}

void Append(Bytes &to, const std::string &text, bool nul = true)
{
    to.insert(to.end(), text.begin(), text.end());
    if (nul) {
        to.push_back(0);
    }
}

/// A little-endian number of `bytes` bytes.
void Put(Bytes &to, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) {
        to.push_back(uint8_t(value >> (8 * i)));
    }
}

// ---- The protocol targets ----

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
            Append(input, Bytes{1, 0, 0, 0, 8, 0, 0, 0, 0x2C, 1, 2, 3, 4, 5, 6, 7});
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
        uint8_t keyIndex; // in kPropertyKeys
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
        Bytes value = seed.value;
        Append(input, Replies(camera, [&]() {
                   int size = static_cast<int>(value.size());
                   seed.set ? properties.SetProperty(kPropertyKeys[seed.keyIndex], value.data(), size)
                            : properties.GetProperty(kPropertyKeys[seed.keyIndex], value.data(), &size);
               }));
        Write("property_fuzz", seed.name, input);
    }
}

/// The status record, the calibration block, firmware images, uploads and transfer paths.
void RecordAndFileSeeds()
{
    const SimSettings settings;
    const Bytes status = SimStreamer::EncodeStatus(SimAppliedState::From(settings), 41, 38);
    Write("status_fuzz", "status", status);
    Write("status_fuzz", "short_status", Bytes(status.begin(), status.begin() + 20));
    const Bytes calibration = SimStreamer::EncodeCalibration(settings);
    Write("calibration_fuzz", "block", calibration);
    for (uint8_t switches : {0x1C, 0x1F, 0x18}) {
        Bytes input = calibration;
        Append(input, Bytes{switches, 0x05, 0x00, 0x02, 0xD0}); // 1280 x 720
        Write("calibration_fuzz", "block_switches_" + std::to_string(switches), input);
    }

    // Device types 520 and 521; images of two sub-versions, then an older one.
    for (const auto &[name, type, date, sub, bytes] :
         {std::make_tuple("image_sub3", 4, "20260301", 3, 2048),
          std::make_tuple("image_sub4", 4, "20260301", 4, 2048),
          std::make_tuple("older_image", 5, "20250101", 3, 600)}) {
        Bytes input{uint8_t(type)};
        Append(input, settings.firmwareVersion);
        Append(input, SimFirmwareImage::Build(date, uint8_t(sub), bytes));
        Write("firmware_fuzz", name, input);
    }

    const std::string tag = "SN0123456789";
    const std::string name = "planeness_" + tag + "_1.bin";
    const Bytes chunk(300, 7);
    const uint32_t sum = UploadRules::Checksum(chunk.data(), chunk.size());
    for (const char *offset : {"0", "300", "0x12c"}) {
        Bytes input{0, 1, 44, static_cast<uint8_t>(sum), 0, 0, 1, 44, 0, 0, 0x10, 0};
        for (const std::string &text : {name, std::string(offset), std::to_string(chunk.size()),
                                        std::to_string(sum + 256), name, tag}) {
            Append(input, text);
        }
        Append(input, "./Config/", false);
        Write("upload_fuzz", std::string("chunk_at_") + offset, input);
    }

    const std::tuple<const char *, Bytes, std::string> transfers[] = {
        {"firmware", {1, 0, 0, 0, 0, 0, 0}, "/home/u/images/fw_20260301.img"},
        {"planeness", {5, 2, 1, 0, 0, 1, 0}, "C:\\cal\\intrinsic.bin"},
        {"background", {7, 0, 0, 0, 0, 0, 0}, "relative/config.json"}};
    for (const auto &[seed, fields, path] : transfers) {
        Bytes input = fields;
        Append(input, path);
        Append(input, "127.0.0.1");
        Append(input, tag, false);
        Write("transfer_path_fuzz", seed, input);
    }
}

// ---- The pipeline targets ----

/// The ToF blocks a camera sends: 0xB1/0xB9 for `typeId`, 0xB6, or 0xB3 with 0xB4 and 0xB5.
Bytes Tof(uint8_t typeId, int range)
{
    static const SimRendering rendering = Scene::Default().Render(SimPinhole{}, 8000.0f);
    RawTofEncoder encoder;
    SimTofTruth truth;
    Bytes out;
    if (typeId == 0xB6) {
        encoder.AppendComputedAll(rendering, range, out, truth);
    } else if (typeId == 0xB3) {
        encoder.AppendComputedImages(rendering, range, out, truth);
    } else {
        encoder.AppendRaw(rendering, typeId, range, out, truth);
    }
    return out;
}

Bytes Color(uint16_t width, uint16_t height, uint8_t encodeType)
{
    SimColorEncoder encoder;
    SimColorTruth truth;
    Bytes out;
    encoder.Append(Scene::Default(), SimSettings{}, SimColorLens{width, height, encodeType}, 0.01f, out,
                   truth);
    return out;
}

/// Stream hub input: the camera's sub-packets of one buffer, those of at most 64 KiB as literal bytes,
/// larger ones as generated blocks of their header filled with their first payload byte.
void AppendHubPackets(Bytes &seed, const Bytes &packets)
{
    for (size_t at = 0, total = 0; at + 5 <= packets.size(); at += total) {
        const bool status = packets[at] == sim_stream::kStatus;
        total = status ? 3 + (packets[at + 1] | packets[at + 2] << 8)
                       : 5 + ByteReader(&packets[at + 1], 3).ReadU24Le();
        if (total <= 0xFFFF) {
            seed.push_back(0);
            Put(seed, static_cast<uint32_t>(total), 2);
            Append(seed, packets, at, total);
        } else {
            seed.push_back(1);
            Append(seed, packets, at, 5);
            seed.push_back(packets[at + 5]);
            seed.push_back(0);
        }
    }
}

/// Stream hub input: buffers of a time stamp, an IMU record, the status record, the calibration block
/// (in the second buffer, when asked for), then the ToF blocks and the colour packet of one frame.
Bytes HubSeed(const Bytes &tof, const Bytes &color, bool calibration, uint8_t switches = 0, int buffers = 7)
{
    SimAppliedState state;
    state.dataMode = 3;
    const Bytes record = SimStreamer::EncodeStatus(state, 41, 38);
    const Bytes block = SimStreamer::EncodeCalibration(SimSettings{});
    Bytes seed{switches};
    for (int buffer = 0; buffer < buffers; ++buffer) {
        Bytes packets = {
            0x1F, 8, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 0x24, 1, 0, 0, 0, uint8_t(buffer), sim_stream::kStatus};
        Put(packets, static_cast<uint32_t>(record.size()), 2);
        Append(packets, record);
        if (calibration && buffer == 1) {
            RawTofEncoder::AppendHeader(packets, sim_stream::kCalibration,
                                        static_cast<uint32_t>(block.size()), 0);
            Append(packets, block);
        }
        Append(packets, tof);
        Append(packets, color);
        AppendHubPackets(seed, packets);
        seed.push_back(2);
    }
    return seed;
}

/// ToF input: each block as the target builds it, its tile taken from the middle row of each phase
/// block (four-phase) or of the image.
Bytes TofSeed(uint8_t dataMode, uint8_t switches, const std::vector<Bytes> &frames)
{
    Bytes seed{dataMode, 0x0A /* ranges 2 and 1 */, switches, 45, 2, uint8_t(frames.size() - 1)};
    for (const Bytes &blocks : frames) {
        std::vector<size_t> starts;
        for (size_t at = 0; at + 5 <= blocks.size(); at += 5 + ByteReader(&blocks[at + 1], 3).ReadU24Le()) {
            starts.push_back(at);
        }
        seed.push_back(uint8_t(starts.size() - 1));
        for (size_t at : starts) {
            Append(seed, blocks, at, 5);
            seed.push_back(1); // phase numbers as the camera writes them
            const bool fourPhase = blocks[at] == 0xB1 || blocks[at] == 0xB9;
            const size_t row = fourPhase ? 2560 : 1280;
            const size_t parts = fourPhase ? 4 : 1;
            Put(seed, static_cast<uint32_t>(row * parts), 2);
            for (size_t part = 0; part < parts; ++part) {
                Append(seed, blocks, at + 5 + part * 483 * 2560 + 240 * row, row);
            }
        }
    }
    return seed;
}

/// Colour input: the whole packet as its tile, or a row of it for the uncompressed format.
Bytes ColorSeed(uint8_t mode, uint8_t switches, const Bytes &packet)
{
    const bool yuv = packet[0] == sim_color::kYuv640x480;
    Bytes seed{mode, switches};
    Append(seed, packet, 0, 5);
    seed.push_back(0);
    const size_t tile = yuv ? 640 * 2 : packet.size() - 5;
    Put(seed, static_cast<uint32_t>(tile), 3);
    Append(seed, packet, yuv ? 5 + 640 * 240 : 5, tile);
    return seed;
}

void PipelineSeeds()
{
    const Bytes jpeg480 = Color(640, 480, 1);
    const Bytes jpeg360 = Color(640, 360, 1);
    const Bytes yuv = Color(640, 480, sim_color::kEncodeRaw);
    const Bytes raw2 = Tof(0xB1, 2);
    const Bytes wdr1 = Tof(0xB9, 1);
    const Bytes computed = Tof(0xB6, 5);
    const Bytes split = Tof(0xB3, 2);

    Write("stream_hub_fuzz", "raw-jpeg", HubSeed(raw2, jpeg480, true));
    Write("stream_hub_fuzz", "computed-yuv", HubSeed(computed, yuv, false));
    Write("stream_hub_fuzz", "split-jpeg", HubSeed(split, jpeg360, true));
    Write("stream_hub_fuzz", "wdr-only", HubSeed(wdr1, {}, false));
    Write("stream_hub_fuzz", "slow-application", HubSeed(split, {}, false, 0x80, 12));

    Write("tof_decode_fuzz", "raw", TofSeed(0, 0, {raw2}));
    Write("tof_decode_fuzz", "raw-refine", TofSeed(0, 0x15, {raw2}));
    Write("tof_decode_fuzz", "dual-frequency", TofSeed(9, 0, {raw2, Tof(0xB1, 1)}));
    Write("tof_decode_fuzz", "wdr", TofSeed(10, 0x01, {wdr1, raw2}));
    Write("tof_decode_fuzz", "computed", TofSeed(5, 0x01, {computed, Tof(0xB6, 2)}));
    Write("tof_decode_fuzz", "split", TofSeed(3, 0x09, {split}));

    Write("color_decode_fuzz", "jpeg-480", ColorSeed(0, 0x01, jpeg480));
    Write("color_decode_fuzz", "jpeg-360-to-480", ColorSeed(0, 0x03, jpeg360));
    Write("color_decode_fuzz", "jpeg-720-rotated", ColorSeed(1, 0x0D, Color(1280, 720, 1)));
    Write("color_decode_fuzz", "yuv", ColorSeed(0, 0x01, yuv));
    Write("color_decode_fuzz", "jpeg-any-size", ColorSeed(7, 0x0C, jpeg360));
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
    RecordAndFileSeeds();
    PipelineSeeds();
    return 0;
}
