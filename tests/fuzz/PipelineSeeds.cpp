// SPDX-License-Identifier: Apache-2.0
// Writes the seed inputs of the stream hub, ToF and colour fuzz targets from what the simulated camera's
// encoders send, in each target's input layout. Usage: fuzz_seeds_pipeline <output directory>.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "RawTofEncoder.h"
#include "Scene.h"
#include "SimAppliedState.h"
#include "SimColorEncoder.h"
#include "SimSettings.h"
#include "SimStreamer.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes &out, uint32_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void Put24(Bytes &out, uint32_t v)
{
    Put16(out, v);
    out.push_back(uint8_t(v >> 16));
}

uint32_t Length24(const uint8_t *header)
{
    return uint32_t(header[1]) | uint32_t(header[2]) << 8 | uint32_t(header[3]) << 16;
}

bool Write(const std::filesystem::path &dir, const std::string &name, const Bytes &bytes)
{
    std::filesystem::create_directories(dir);
    FILE *file = std::fopen((dir / name).c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

/// The camera's sub-packets of one frame: ToF blocks by the output, then a colour packet (may be empty).
struct CameraFrame
{
    Bytes tof;
    Bytes color;
};

class SeedMaker
{
public:
    SeedMaker() : m_rendering(Scene::Default().Render(SimPinhole{}, 8000.0f)) {}

    /// The ToF blocks a camera sends: 0xB1/0xB9 for `typeId`, 0xB6, or 0xB3 with 0xB4 and 0xB5.
    Bytes Tof(uint8_t typeId, int range)
    {
        Bytes out;
        SimTofTruth truth;
        if (typeId == 0xB6) {
            m_encoder.AppendComputedAll(m_rendering, range, out, truth);
        } else if (typeId == 0xB3) {
            m_encoder.AppendComputedImages(m_rendering, range, out, truth);
        } else {
            m_encoder.AppendRaw(m_rendering, typeId, range, out, truth);
        }
        return out;
    }

    Bytes Color(uint16_t width, uint16_t height, uint8_t encodeType)
    {
        Bytes out;
        SimColorTruth truth;
        m_color.Append(Scene::Default(), m_settings, SimColorLens{width, height, encodeType}, 0.01f, out,
                       truth);
        return out;
    }

    Bytes Status() const
    {
        SimAppliedState state;
        state.dataMode = 3;
        Bytes record = SimStreamer::EncodeStatus(state, 41, 38);
        Bytes out{sim_stream::kStatus};
        Put16(out, static_cast<uint32_t>(record.size()));
        out.insert(out.end(), record.begin(), record.end());
        return out;
    }

    Bytes Calibration() const
    {
        Bytes record = SimStreamer::EncodeCalibration(m_settings);
        Bytes out;
        RawTofEncoder::AppendHeader(out, sim_stream::kCalibration, static_cast<uint32_t>(record.size()), 0);
        out.insert(out.end(), record.begin(), record.end());
        return out;
    }

private:
    SimRendering m_rendering;
    RawTofEncoder m_encoder;
    SimColorEncoder m_color;
    SimSettings m_settings;
};

/// Stream hub input: sub-packets of at most 64 KiB go in as literal bytes, larger ones as generated
/// blocks of their header filled with their first payload byte.
void AppendHubPackets(Bytes &seed, const Bytes &packets)
{
    size_t at = 0;
    while (at + 5 <= packets.size()) {
        const bool status = packets[at] == sim_stream::kStatus;
        const size_t total =
            status ? 3 + (packets[at + 1] | packets[at + 2] << 8) : 5 + Length24(&packets[at]);
        if (total <= 0xFFFF) {
            seed.push_back(0);
            Put16(seed, static_cast<uint32_t>(total));
            seed.insert(seed.end(), packets.begin() + long(at), packets.begin() + long(at + total));
        } else {
            seed.push_back(1);
            seed.insert(seed.end(), packets.begin() + long(at), packets.begin() + long(at + 5));
            seed.push_back(packets[at + 5]);
            seed.push_back(0);
        }
        at += total;
    }
}

Bytes HubSeed(SeedMaker &maker, const CameraFrame &frame, bool calibration, uint8_t switches = 0,
              int buffers = 7)
{
    Bytes seed{switches};
    for (int buffer = 0; buffer < buffers; ++buffer) {
        Bytes packets = {0x1F, 8, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 0x24, 1, 0, 0, 0, uint8_t(buffer)};
        const Bytes status = maker.Status();
        packets.insert(packets.end(), status.begin(), status.end());
        if (calibration && buffer == 1) {
            const Bytes block = maker.Calibration();
            packets.insert(packets.end(), block.begin(), block.end());
        }
        packets.insert(packets.end(), frame.tof.begin(), frame.tof.end());
        packets.insert(packets.end(), frame.color.begin(), frame.color.end());
        AppendHubPackets(seed, packets);
        seed.push_back(2);
    }
    return seed;
}

/// ToF input: one block as the target builds it, its tile taken from the middle row of each phase block
/// (four-phase) or of the image.
void AppendTofBlock(Bytes &seed, const Bytes &blocks, size_t at)
{
    const uint8_t *header = &blocks[at];
    seed.insert(seed.end(), header, header + 5);
    seed.push_back(1); // phase numbers as the camera writes them
    const bool fourPhase = header[0] == 0xB1 || header[0] == 0xB9;
    const size_t row = fourPhase ? 2560 : 1280;
    const size_t parts = fourPhase ? 4 : 1;
    Put16(seed, static_cast<uint32_t>(row * parts));
    for (size_t part = 0; part < parts; ++part) {
        const size_t from = at + 5 + part * 483 * 2560 + 240 * row;
        seed.insert(seed.end(), blocks.begin() + long(from), blocks.begin() + long(from + row));
    }
}

Bytes TofSeed(uint8_t dataMode, uint8_t switches, const std::vector<Bytes> &frames)
{
    Bytes seed{dataMode, 0x0A /* ranges 2 and 1 */, switches, 45, 2, uint8_t(frames.size() - 1)};
    for (const Bytes &blocks : frames) {
        size_t count = 0;
        for (size_t at = 0; at + 5 <= blocks.size(); at += 5 + Length24(&blocks[at])) {
            ++count;
        }
        seed.push_back(uint8_t(count - 1));
        for (size_t at = 0; at + 5 <= blocks.size(); at += 5 + Length24(&blocks[at])) {
            AppendTofBlock(seed, blocks, at);
        }
    }
    return seed;
}

/// Colour input: the whole packet as its tile, or a row of it for the uncompressed format.
Bytes ColorSeed(uint8_t mode, uint8_t switches, const Bytes &packet)
{
    Bytes seed{mode, switches};
    seed.insert(seed.end(), packet.begin(), packet.begin() + 5);
    seed.push_back(0);
    const size_t tile = packet[0] == sim_color::kYuv640x480 ? 640 * 2 : packet.size() - 5;
    Put24(seed, static_cast<uint32_t>(tile));
    const size_t from = packet[0] == sim_color::kYuv640x480 ? 5 + 640 * 240 : 5;
    seed.insert(seed.end(), packet.begin() + long(from), packet.begin() + long(from + tile));
    return seed;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
        return 2;
    }
    const std::filesystem::path out(argv[1]);
    SeedMaker maker;
    bool ok = true;

    const Bytes jpeg480 = maker.Color(640, 480, 1);
    const Bytes jpeg360 = maker.Color(640, 360, 1);
    const Bytes jpeg720 = maker.Color(1280, 720, 1);
    const Bytes yuv = maker.Color(640, 480, sim_color::kEncodeRaw);
    const Bytes raw2 = maker.Tof(0xB1, 2);
    const Bytes wdr1 = maker.Tof(0xB9, 1);
    const Bytes computed = maker.Tof(0xB6, 5);
    const Bytes split = maker.Tof(0xB3, 2);

    const std::filesystem::path hub = out / "stream_hub_fuzz";
    ok = Write(hub, "raw-jpeg", HubSeed(maker, {raw2, jpeg480}, true)) && ok;
    ok = Write(hub, "computed-yuv", HubSeed(maker, {computed, yuv}, false)) && ok;
    ok = Write(hub, "split-jpeg", HubSeed(maker, {split, jpeg360}, true)) && ok;
    ok = Write(hub, "wdr-only", HubSeed(maker, {wdr1, {}}, false)) && ok;
    ok = Write(hub, "slow-application", HubSeed(maker, {split, {}}, false, 0x80, 12)) && ok;

    const std::filesystem::path tof = out / "tof_decode_fuzz";
    ok = Write(tof, "raw", TofSeed(0, 0, {raw2})) && ok;
    ok = Write(tof, "raw-refine", TofSeed(0, 0x15, {raw2})) && ok;
    ok = Write(tof, "dual-frequency", TofSeed(9, 0, {raw2, maker.Tof(0xB1, 1)})) && ok;
    ok = Write(tof, "wdr", TofSeed(10, 0x01, {wdr1, raw2})) && ok;
    ok = Write(tof, "computed", TofSeed(5, 0x01, {computed, maker.Tof(0xB6, 2)})) && ok;
    ok = Write(tof, "split", TofSeed(3, 0x09, {split})) && ok;

    const std::filesystem::path color = out / "color_decode_fuzz";
    ok = Write(color, "jpeg-480", ColorSeed(0, 0x01, jpeg480)) && ok;
    ok = Write(color, "jpeg-360-to-480", ColorSeed(0, 0x03, jpeg360)) && ok;
    ok = Write(color, "jpeg-720-rotated", ColorSeed(1, 0x0D, jpeg720)) && ok;
    ok = Write(color, "yuv", ColorSeed(0, 0x01, yuv)) && ok;
    ok = Write(color, "jpeg-any-size", ColorSeed(7, 0x0C, jpeg360)) && ok;
    if (!ok) {
        std::fprintf(stderr, "cannot write the seeds to %s\n", argv[1]);
        return 1;
    }
    return 0;
}
