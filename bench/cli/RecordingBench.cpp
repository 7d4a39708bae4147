// SPDX-License-Identifier: Apache-2.0
// How fast recordings are written and read back: frame sets shaped like a camera's full output (depth, IR
// and confidence 16-bit at 640x480, RGB888 at 1600x1200) pushed at 25 per second and flat out, without
// and with zstd, to files under /tmp. Usage: bench_recording [seconds] [directory] [zstd levels...]
#include "RecordingReader.h"
#include "RecordingWriter.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace orvane::cli::record;
using Clock = std::chrono::steady_clock;

constexpr int kFps = 25;
constexpr int kTofWidth = 640;
constexpr int kTofHeight = 480;
constexpr int kColorWidth = 1600;
constexpr int kColorHeight = 1200;

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

/// A scene's worth of content: smooth surfaces with sensor noise in the low bits, as real frames have,
/// so that compression sees neither noise nor flat fields.
std::vector<uint8_t> Image16(int width, int height, unsigned base, unsigned noiseBits, std::mt19937 &random)
{
    std::vector<uint8_t> out(static_cast<size_t>(width) * height * 2);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const unsigned value =
                base + static_cast<unsigned>(x + 2 * y) + (random() & ((1u << noiseBits) - 1));
            const size_t at = (static_cast<size_t>(y) * width + x) * 2;
            out[at] = static_cast<uint8_t>(value);
            out[at + 1] = static_cast<uint8_t>(value >> 8);
        }
    }
    return out;
}

std::vector<uint8_t> ColorImage(std::mt19937 &random)
{
    std::vector<uint8_t> out(static_cast<size_t>(kColorWidth) * kColorHeight * 3);
    for (size_t i = 0; i < out.size(); ++i) {
        const size_t pixel = i / 3;
        out[i] = static_cast<uint8_t>((pixel % kColorWidth) / 8 + (pixel / kColorWidth) / 8 + (random() & 7));
    }
    return out;
}

struct Source
{
    std::vector<std::vector<uint8_t>> images; // depth, IR, confidence, colour
    size_t bytesPerSet = 0;
};

/// Fills `set` from the source as the recorder does from the library's frames: a copy of each image.
void FillSet(const Source &source, uint32_t index, FrameSet &set)
{
    static const uint32_t kTypes[] = {0, 1, 8, 3};
    set.frames.resize(source.images.size());
    for (size_t i = 0; i < source.images.size(); ++i) {
        RecordedFrame &frame = set.frames[i];
        frame.frameIndex = index;
        frame.frameType = kTypes[i];
        frame.pixelFormat = kTypes[i] == 3 ? 3 : (kTypes[i] == 0 ? 0 : 1);
        frame.width = static_cast<uint16_t>(kTypes[i] == 3 ? kColorWidth : kTofWidth);
        frame.height = static_cast<uint16_t>(kTypes[i] == 3 ? kColorHeight : kTofHeight);
        frame.timestamp = 40'000ull * index;
        frame.hostTimeNs = static_cast<uint64_t>(Clock::now().time_since_epoch().count());
        frame.pixels.assign(source.images[i].begin(), source.images[i].end());
    }
}

struct RunResult
{
    double wallSeconds = 0;
    double cpuSeconds = 0;
    RecordingWriterStats stats;
};

/// Pushes `sets` frame sets, at 25 per second when `paced`, else as fast as the writer takes them.
RunResult Record(const std::string &path, const Source &source, int level, int sets, bool paced)
{
    RecordingWriter writer({4, level});
    if (!writer.Open(path, R"({"bench":true})")) {
        std::fprintf(stderr, "%s\n", writer.GetError().c_str());
        std::exit(1);
    }
    const double cpuBefore = CpuSeconds();
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < sets; ++i) {
        if (paced) {
            std::this_thread::sleep_until(start + std::chrono::microseconds(1'000'000 / kFps) * i);
        }
        FrameSet set = writer.TakeSpare();
        FillSet(source, static_cast<uint32_t>(i), set);
        while (!writer.Push(std::move(set)) && !paced) {
            std::this_thread::sleep_for(std::chrono::microseconds(200)); // flat out: wait for a place
        }
    }
    writer.Close();
    RunResult result;
    result.wallSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    result.cpuSeconds = CpuSeconds() - cpuBefore;
    result.stats = writer.GetStats();
    if (!writer.GetError().empty()) {
        std::fprintf(stderr, "write error: %s\n", writer.GetError().c_str());
    }
    return result;
}

void ReadBack(const std::string &path, int sets)
{
    RecordingReader reader;
    if (!reader.Open(path)) {
        std::fprintf(stderr, "%s\n", reader.GetError().c_str());
        return;
    }
    const double cpuBefore = CpuSeconds();
    const Clock::time_point start = Clock::now();
    FrameSet set;
    int count = 0;
    uint64_t bodyBytes = 0;
    for (ReadResult r = reader.Next(set); r.status == ReadStatus::kFrameSet; r = reader.Next(set)) {
        ++count;
        bodyBytes += r.bodyBytes;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf(
        "    read back  : %d of %d sets in %.2f s: %.0f MB/s of frames, %.1fx real time, %.2f CPU s\n", count,
        sets, seconds, static_cast<double>(bodyBytes) / 1e6 / seconds,
        static_cast<double>(count) / kFps / seconds, CpuSeconds() - cpuBefore);
}

} // namespace

int main(int argc, char **argv)
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 4;
    const std::string dir = argc > 2 ? argv[2] : "/tmp";
    std::vector<int> levels;
    for (int i = 3; i < argc; ++i) {
        levels.push_back(std::atoi(argv[i]));
    }
    if (levels.empty()) {
        levels = {0, 1, 3};
    }
    std::mt19937 random(7);
    Source source;
    source.images = {Image16(kTofWidth, kTofHeight, 800, 4, random),
                     Image16(kTofWidth, kTofHeight, 200, 6, random),
                     Image16(kTofWidth, kTofHeight, 3000, 5, random), ColorImage(random)};
    for (const auto &image : source.images) {
        source.bytesPerSet += image.size();
    }
    const int sets = seconds * kFps;
    std::printf("frame sets of %.2f MB (%.0f MB/s at %d fps), %d sets per run, files in %s\n",
                static_cast<double>(source.bytesPerSet) / 1e6,
                static_cast<double>(source.bytesPerSet) * kFps / 1e6, kFps, sets, dir.c_str());
    for (int level : levels) {
        if (level != 0 && !ZstdCodec::IsAvailable()) {
            std::printf("zstd %d: not built in\n", level);
            continue;
        }
        const std::string path = dir + "/bench_recording_" + std::to_string(getpid()) + ".orvrec";
        std::printf("%s\n", level == 0 ? "uncompressed" : ("zstd level " + std::to_string(level)).c_str());
        for (bool paced : {true, false}) {
            const RunResult r = Record(path, source, level, sets, paced);
            const double inMb = static_cast<double>(r.stats.bytesIn) / 1e6;
            // Flat out retries a full queue, so only the paced run's drops are drops.
            const unsigned long long dropped = paced ? r.stats.frameSetsDropped : 0;
            std::printf(
                "    %s: %llu written, %llu dropped in %.2f s: %.0f MB/s in, %.0f MB/s to disk, ratio %.2f, "
                "CPU %.2f s per recorded second\n",
                paced ? "25 fps    " : "flat out  ",
                static_cast<unsigned long long>(r.stats.frameSetsWritten), dropped, r.wallSeconds,
                inMb / r.wallSeconds, static_cast<double>(r.stats.bytesOut) / 1e6 / r.wallSeconds,
                static_cast<double>(r.stats.bytesIn) / static_cast<double>(r.stats.bytesOut),
                r.cpuSeconds / (static_cast<double>(r.stats.frameSetsWritten) / kFps));
        }
        ReadBack(path, sets);
        std::remove(path.c_str());
    }
    return 0;
}
