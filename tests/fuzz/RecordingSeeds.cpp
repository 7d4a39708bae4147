// SPDX-License-Identifier: Apache-2.0
// Writes the recording fuzz target's seeds with the recording writer: small recordings, plain and
// compressed, whole and cut. Usage: fuzz_seeds_recording <output directory>.
#include "RecordingWriter.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

using namespace orvane::cli::record;

/// A few sets like a camera's: depth, IR and confidence, sometimes colour; tiny images keep the fuzzer fast.
bool WriteSeed(const std::string &path, int zstdLevel, size_t sets)
{
    RecordingWriter writer({64, zstdLevel});
    const std::string header = R"({"camera":{"uri":"KR52CPro:SEED"},"dataMode":2,"frameModes":[]})";
    if (!writer.Open(path, header)) {
        std::fprintf(stderr, "%s\n", writer.GetError().c_str());
        return false;
    }
    for (size_t s = 0; s < sets; ++s) {
        FrameSet set;
        for (uint32_t type : {0u, 1u, 8u, 3u}) {
            if (type == 3 && s % 2 == 1) {
                continue;
            }
            RecordedFrame frame;
            frame.frameIndex = static_cast<uint32_t>(s);
            frame.frameType = type;
            frame.pixelFormat = type == 3 ? 3 : 0;
            frame.width = 4;
            frame.height = 2;
            frame.timestamp = 1000 + 40 * s;
            frame.pixels.assign(type == 3 ? 24 : 16, static_cast<uint8_t>(s + type));
            set.frames.push_back(frame);
        }
        writer.Push(std::move(set));
    }
    return writer.Close();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
        return 1;
    }
    const std::filesystem::path dir(argv[1]);
    std::filesystem::create_directories(dir);
    bool ok =
        WriteSeed((dir / "plain.orvrec").string(), 0, 3) && WriteSeed((dir / "single.orvrec").string(), 0, 1);
    if (ZstdCodec::IsAvailable()) {
        ok = ok && WriteSeed((dir / "zstd.orvrec").string(), 1, 3);
    }
    // A recording cut inside its last record.
    std::ifstream in(dir / "plain.orvrec", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ofstream((dir / "cut.orvrec").string(), std::ios::binary)
        .write(bytes.data(), bytes.size() > 30 ? bytes.size() - 30 : 0);
    return ok ? 0 : 1;
}
