// SPDX-License-Identifier: Apache-2.0
// Benchmark of the firmware image check on a 16 MiB image: time per check and the memory it adds.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include "upgrade/FirmwareImage.h"

namespace {

constexpr size_t kImageBytes = 16u << 20;

/// Writes a valid 16 MiB image newer than the camera's version below, block by block so that writing it
/// does not raise the process's peak memory; returns its path.
std::string WriteImage()
{
    const std::string path = "/tmp/orvane-fw-bench-" + std::to_string(getpid()) + ".bin";
    FILE *f = std::fopen(path.c_str(), "w+b");
    if (f == nullptr) {
        return path;
    }
    uint8_t header[FirmwareImage::kHeaderBytes] = {11};
    std::snprintf(reinterpret_cast<char *>(&header[2]), 9, "%s", "20260201");
    header[11] = 4;
    std::fwrite(header, 1, sizeof(header), f);
    std::vector<uint8_t> block(4096);
    uint32_t sum = 0;
    for (size_t at = FirmwareImage::kHeaderBytes; at < kImageBytes; at += block.size()) {
        const size_t n = std::min(block.size(), kImageBytes - at);
        for (size_t i = 0; i < n; ++i) {
            block[i] = static_cast<uint8_t>((at + i) * 131 + 7);
            sum += block[i];
        }
        std::fwrite(block.data(), 1, n, f);
    }
    for (int i = 0; i < 8; ++i) {
        header[12 + i] = static_cast<uint8_t>(uint64_t{kImageBytes} >> (8 * i));
    }
    for (int i = 0; i < 4; ++i) {
        header[20 + i] = static_cast<uint8_t>(sum >> (8 * i));
    }
    std::fseek(f, 0, SEEK_SET);
    std::fwrite(header, 1, sizeof(header), f);
    std::fclose(f);
    return path;
}

long MaxRssKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void BM_CheckFirmwareImage16MiB(benchmark::State &state)
{
    static const std::string path = WriteImage();
    const long rssBefore = MaxRssKiB();
    for (auto _ : state) {
        int length = 0;
        int checksum = 0;
        const int result =
            FirmwareImage::Check(path.c_str(), "KR52_V2.3.7_20260101_V3", 520, length, checksum);
        if (result != FirmwareImage::kNewer) {
            state.SkipWithError("the image was refused");
            break;
        }
        benchmark::DoNotOptimize(checksum);
    }
    // Peak resident size the checks added beyond what the process held before (the image was written in
    // small blocks, so the earlier peak does not hide the checks' own).
    state.counters["rss_growth_KiB"] = static_cast<double>(MaxRssKiB() - rssBefore);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kImageBytes));
}
BENCHMARK(BM_CheckFirmwareImage16MiB)->Unit(benchmark::kMillisecond);

/// Removes the image once every benchmark has run.
struct RemoveImage
{
    ~RemoveImage() { std::remove(("/tmp/orvane-fw-bench-" + std::to_string(getpid()) + ".bin").c_str()); }
} g_removeImage;

} // namespace

BENCHMARK_MAIN();
