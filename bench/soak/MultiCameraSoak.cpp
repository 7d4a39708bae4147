// SPDX-License-Identifier: Apache-2.0
// Several simulated cameras, each an orvane-camsim process of its own, streaming into this one process
// through the public API: sets delivered per frame sent for each camera, send-to-read latency, this
// process's CPU, resident memory, threads and descriptors each second, CPU per thread, and the
// same-run baselines (memcpy of a buffer's bytes, bare TurboJPEG on the camera's own JPEG).
// Usage: bench_soak_cameras [--cameras N] [--seconds S] [--mode raw|computed] [--json FILE]
//        [--camsim PATH] [--first-host 210] [--lock FILE|none]
#include <signal.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "CameraReader.h"
#include "CamsimProcess.h"
#include "DecodeBaselines.h"
#include "DiscoveryLock.h"
#include "Orvane_api.h"
#include "ProcessProbe.h"
#include "SoakStats.h"
#include "ThreadLedger.h"

#ifndef ORVANE_CAMSIM_PATH
#define ORVANE_CAMSIM_PATH "orvane-camsim"
#endif

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kRawFourPhaseBytes = 4 * 640 * 2 * 2 * 483; // four phase blocks of 483 rows
constexpr size_t kComputedImagesBytes = 640 * 480 * 5;       // 16-bit depth, 8-bit IR, 16-bit confidence
constexpr unsigned kOpenTimeoutMs = 15000;
constexpr double kWarmUpSeconds = 3.0;

struct Options
{
    unsigned cameras = 4;
    double seconds = 600.0;
    bool computed = false; // camera-computed depth and 640 x 480 colour instead of raw and 1600 x 1200
    std::string json;
    std::string camsim = ORVANE_CAMSIM_PATH;
    unsigned firstHost = 210;
    std::string lock = "/tmp/orvane-loopback.lock";
};

bool ParseOptions(int argc, char **argv, Options &o)
{
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        const std::string value = argv[i + 1];
        if (key == "--cameras") {
            o.cameras = static_cast<unsigned>(std::atoi(value.c_str()));
        } else if (key == "--seconds") {
            o.seconds = std::atof(value.c_str());
        } else if (key == "--mode" && (value == "raw" || value == "computed")) {
            o.computed = value == "computed";
        } else if (key == "--json") {
            o.json = value;
        } else if (key == "--camsim") {
            o.camsim = value;
        } else if (key == "--first-host") {
            o.firstHost = static_cast<unsigned>(std::atoi(value.c_str()));
        } else if (key == "--lock") {
            o.lock = value == "none" ? "" : value;
        } else {
            return false;
        }
    }
    return argc % 2 == 1 && o.cameras >= 1 && o.cameras <= 20 && o.seconds > 0.0 && o.firstHost >= 2 &&
           o.firstHost + o.cameras <= 255;
}

void OnSignal(int)
{
    CamsimProcess::KillAll();
    _exit(130);
}

struct Camera
{
    std::string serial;
    std::string ip;
    std::unique_ptr<CamsimProcess> camsim;
    TfDeviceHandle device = nullptr;
    std::unique_ptr<CameraReader> reader;
};

/// Starts one simulator process per camera, opens every camera and puts it in the asked mode. Holds the
/// discovery lock only while it finds and opens them, and silences their announcements once open (an open
/// camera lives on its heartbeat), so other runs on this machine neither lose nor see them.
bool OpenAll(const Options &o, std::vector<Camera> &cameras, ThreadLedger &ledger)
{
    DiscoveryLock lock;
    if (!lock.Acquire(o.lock)) {
        std::fprintf(stderr, "cannot take %s\n", o.lock.c_str());
        return false;
    }
    for (Camera &c : cameras) {
        c.camsim = std::make_unique<CamsimProcess>();
        if (!c.camsim->Start(o.camsim, {"--exit-on-eof", "--period-ms", "200", "--camera",
                                        "serial=" + c.serial + ",ip=" + c.ip})) {
            std::fprintf(stderr, "cannot start %s for %s\n", o.camsim.c_str(), c.serial.c_str());
            return false;
        }
    }
    if (TFCM_Initialize() != 0) {
        return false;
    }
    ledger.Claim("library, process-wide");
    for (size_t i = 0; i < cameras.size(); ++i) {
        Camera &c = cameras[i];
        c.device = CameraReader::OpenWhenListed("KR52Lite:" + c.serial, c.ip, kOpenTimeoutMs);
        if (c.device == nullptr) {
            return false;
        }
        const int mode = TFCM_SetDataMode(c.device, o.computed ? 5 : 0);
        const int size =
            TFCM_SetColorResolution(c.device, o.computed ? TF_COLOR_640X480 : TF_COLOR_1600X1200);
        const int geometry = TFCM_SetToFDistortionCorrectionEnabled(c.device, false) |
                             TFCM_SetColorDistortionCorrectionEnabled(c.device, false);
        std::printf("opened %s at %s; setting the data mode: %d, the colour size: %d, undistortion off: %d\n",
                    c.serial.c_str(), c.ip.c_str(), mode, size, geometry);
        ledger.Claim("camera " + std::to_string(i + 1));
        c.camsim->Command("silent " + c.serial);
    }
    return true;
}

void CloseAll(std::vector<Camera> &cameras)
{
    for (Camera &c : cameras) {
        if (c.reader) {
            c.reader->Stop();
        }
    }
    for (Camera &c : cameras) {
        if (c.device != nullptr) {
            TFCM_CloseDevice(&c.device);
        }
    }
    TFCM_Shutdown();
    for (Camera &c : cameras) {
        if (c.camsim) {
            c.camsim->Stop();
        }
    }
}

double ChildCpu(const std::vector<Camera> &cameras)
{
    double seconds = 0.0;
    for (const Camera &c : cameras) {
        seconds += c.camsim ? c.camsim->CpuSeconds() : 0.0;
    }
    return seconds;
}

/// One sample a second for `seconds`, times relative to the first.
std::vector<ProcessSample> Sample(const std::vector<Camera> &cameras, double seconds, ThreadLedger &ledger)
{
    std::vector<ProcessSample> samples;
    const Clock::time_point start = Clock::now();
    for (int second = 0;; ++second) {
        std::this_thread::sleep_until(start + std::chrono::seconds(second));
        ProcessSample s = ProcessProbe::Take();
        s.atSeconds = std::chrono::duration<double>(Clock::now() - start).count();
        s.childCpuSeconds = ChildCpu(cameras);
        samples.push_back(s);
        ledger.Observe();
        if (s.atSeconds >= seconds) {
            return samples;
        }
        if (second > 0 && second % 60 == 0) {
            std::printf("  %4d s: RSS %.1f MB, %d threads, %d descriptors\n", second, s.rssMb, s.threads,
                        s.descriptors);
            std::fflush(stdout);
        }
    }
}

/// The sample nearest `atSeconds`.
const ProcessSample &At(const std::vector<ProcessSample> &samples, double atSeconds)
{
    size_t best = 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        if (std::abs(samples[i].atSeconds - atSeconds) < std::abs(samples[best].atSeconds - atSeconds)) {
            best = i;
        }
    }
    return samples[best];
}

struct CameraFigures
{
    std::string serial;
    ReaderCounts counts;
    double p50Ms = 0.0;
    double p99Ms = 0.0;
    double maxMs = 0.0;
    std::string drops;
};

/// Resident memory, threads and descriptors: at 1, 5 and 10 minutes (those the run reached), at the
/// end, and their least-squares slopes after the first minute (or over the whole of a shorter run).
void PrintResources(const std::vector<ProcessSample> &samples, FILE *json)
{
    const double end = samples.back().atSeconds;
    std::printf("resources (this process):\n");
    for (const double mark : {60.0, 300.0, 600.0, end}) {
        if (mark > end + 0.5 || (mark != end && mark > end - 0.5)) {
            continue;
        }
        const ProcessSample &s = At(samples, mark);
        std::printf("  at %6.1f s  RSS %7.1f MB  threads %3d  descriptors %3d\n", s.atSeconds, s.rssMb,
                    s.threads, s.descriptors);
    }
    const double from = end > 120.0 ? 60.0 : 0.0;
    std::vector<double> t, rss, threads, fds;
    for (const ProcessSample &s : samples) {
        if (s.atSeconds >= from) {
            t.push_back(s.atSeconds / 60.0);
            rss.push_back(s.rssMb);
            threads.push_back(s.threads);
            fds.push_back(s.descriptors);
        }
    }
    std::printf("  slopes from %.0f s on: RSS %+.3f MB/min, threads %+.4f /min, descriptors %+.4f /min\n",
                from, soak::Slope(t, rss), soak::Slope(t, threads), soak::Slope(t, fds));
    if (json != nullptr) {
        std::fprintf(
            json, "  \"slopes_per_minute\": {\"rss_mb\": %.4f, \"threads\": %.5f, \"descriptors\": %.5f},\n",
            soak::Slope(t, rss), soak::Slope(t, threads), soak::Slope(t, fds));
        std::fprintf(json, "  \"samples\": [\n");
        for (size_t i = 0; i < samples.size(); ++i) {
            const ProcessSample &s = samples[i];
            std::fprintf(json,
                         "    {\"t\": %.2f, \"cpu_s\": %.3f, \"camsim_cpu_s\": %.3f, \"rss_mb\": %.2f, "
                         "\"threads\": %d, \"fds\": %d}%s\n",
                         s.atSeconds, s.cpuSeconds, s.childCpuSeconds, s.rssMb, s.threads, s.descriptors,
                         i + 1 < samples.size() ? "," : "");
        }
        std::fprintf(json, "  ],\n");
    }
}

void PrintCameras(const std::vector<CameraFigures> &figures, double seconds, FILE *json)
{
    std::printf("per camera (%.1f s):\n", seconds);
    if (json != nullptr) {
        std::fprintf(json, "  \"cameras\": [\n");
    }
    for (size_t i = 0; i < figures.size(); ++i) {
        const CameraFigures &f = figures[i];
        const ReaderCounts &c = f.counts;
        const double ratio =
            c.framesSent ? static_cast<double>(c.sets) / static_cast<double>(c.framesSent) : 0.0;
        std::printf(
            "  %s  sets %llu (%.2f/s), sent %llu, delivered per sent %.4f, with colour %llu (%u x %u), "
            "latency p50 %.2f ms p99 %.2f ms max %.2f ms, empty reads %llu, failed reads %llu\n"
            "          %s\n",
            f.serial.c_str(), static_cast<unsigned long long>(c.sets), c.sets / seconds,
            static_cast<unsigned long long>(c.framesSent), ratio,
            static_cast<unsigned long long>(c.colorSets), c.colorWidth, c.colorHeight, f.p50Ms, f.p99Ms,
            f.maxMs, static_cast<unsigned long long>(c.timeouts), static_cast<unsigned long long>(c.errors),
            f.drops.c_str());
        if (json != nullptr) {
            std::fprintf(
                json,
                "    {\"serial\": \"%s\", \"sets\": %llu, \"sent\": %llu, \"delivered_per_sent\": %.5f, "
                "\"color_sets\": %llu, \"p50_ms\": %.3f, \"p99_ms\": %.3f, \"max_ms\": %.3f, "
                "\"drops\": \"%s\"}%s\n",
                f.serial.c_str(), static_cast<unsigned long long>(c.sets),
                static_cast<unsigned long long>(c.framesSent), ratio,
                static_cast<unsigned long long>(c.colorSets), f.p50Ms, f.p99Ms, f.maxMs, f.drops.c_str(),
                i + 1 < figures.size() ? "," : "");
        }
    }
    if (json != nullptr) {
        std::fprintf(json, "  ],\n");
    }
}

/// Reads every camera for the given time while sampling this process; prints and writes the figures.
void Measure(const Options &o, std::vector<Camera> &cameras, ThreadLedger &ledger,
             const BaselineFigures &base)
{
    for (size_t i = 0; i < cameras.size(); ++i) {
        cameras[i].reader = std::make_unique<CameraReader>(cameras[i].device, cameras[i].camsim->ReadyAt());
        cameras[i].reader->Start();
        ledger.Name(cameras[i].reader->Tid(), "benchmark reader of camera " + std::to_string(i + 1));
    }
    ledger.Begin();
    const std::vector<ProcessSample> samples = Sample(cameras, o.seconds, ledger);
    ledger.End();
    std::vector<CameraFigures> figures;
    for (Camera &c : cameras) {
        c.reader->Stop();
        CameraFigures f;
        f.serial = c.serial;
        f.counts = c.reader->Counts();
        const std::vector<double> latencies = c.reader->LatenciesMs();
        f.p50Ms = soak::Percentile(latencies, 0.5);
        f.p99Ms = soak::Percentile(latencies, 0.99);
        f.maxMs = soak::Percentile(latencies, 1.0);
        f.drops = c.reader->DropCounters();
        figures.push_back(f);
    }
    const double seconds = samples.back().atSeconds;
    const double cpu = 100.0 * (samples.back().cpuSeconds - samples.front().cpuSeconds) / seconds;
    const double childCpu =
        100.0 * (samples.back().childCpuSeconds - samples.front().childCpuSeconds) / seconds;
    FILE *json = o.json.empty() ? nullptr : std::fopen(o.json.c_str(), "w");
    if (json != nullptr) {
        std::fprintf(
            json,
            "{\n  \"cameras_count\": %u, \"mode\": \"%s\", \"seconds\": %.2f, \"cpu_percent\": %.2f, "
            "\"camsim_cpu_percent\": %.2f,\n  \"baseline_ms\": {\"memcpy\": %.4f, \"turbojpeg\": %.4f, "
            "\"library_rgb\": %.4f, \"jpeg_bytes\": %zu, \"buffer_bytes\": %zu},\n",
            o.cameras, o.computed ? "computed" : "raw", seconds, cpu, childCpu, base.memcpyMs,
            base.turboJpegMs, base.libraryRgbMs, base.jpegBytes, base.bufferBytes);
    }
    PrintCameras(figures, seconds, json);
    std::printf(
        "CPU: this process %.1f %% of one core (%.1f %% per camera); the %u simulator processes %.1f %%\n",
        cpu, cpu / o.cameras, o.cameras, childCpu);
    PrintResources(samples, json);
    std::printf("%s", ledger.Describe(seconds, 4 + 6 * o.cameras).c_str());
    if (json != nullptr) {
        std::fprintf(json, "  \"end\": true\n}\n");
        std::fclose(json);
    }
}

} // namespace

int main(int argc, char **argv)
{
    Options o;
    if (!ParseOptions(argc, argv, o)) {
        std::fprintf(
            stderr,
            "usage: %s [--cameras N] [--seconds S] [--mode raw|computed] [--json FILE] [--camsim PATH] "
            "[--first-host 210] [--lock FILE|none]\n",
            argv[0]);
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);
    signal(SIGINT, OnSignal);
    signal(SIGTERM, OnSignal);
    std::printf("%u cameras, %s, %.0f s, %u hardware threads\n", o.cameras,
                o.computed ? "camera-computed images (data mode 5) + 640x480 JPEG"
                           : "raw four-phase depth (data mode 0) + 1600x1200 JPEG",
                o.seconds, std::thread::hardware_concurrency());
    const BaselineFigures base = o.computed ? DecodeBaselines::Measure(640, 480, kComputedImagesBytes, 2.0)
                                            : DecodeBaselines::Measure(1600, 1200, kRawFourPhaseBytes, 2.0);
    std::printf("%s\n", DecodeBaselines::Describe(base).c_str());
    std::printf("machine: %s\n", ProcessProbe::MachineLoad().c_str());

    std::vector<Camera> cameras(o.cameras);
    for (unsigned i = 0; i < o.cameras; ++i) {
        char serial[16];
        std::snprintf(serial, sizeof serial, "SOAK%02u", i + 1);
        cameras[i].serial = serial;
        cameras[i].ip = "127.0.0." + std::to_string(o.firstHost + i);
    }
    ThreadLedger ledger;
    ledger.Claim("benchmark");
    int status = 1;
    if (OpenAll(o, cameras, ledger)) {
        std::this_thread::sleep_for(std::chrono::duration<double>(kWarmUpSeconds));
        Measure(o, cameras, ledger, base);
        std::printf("machine at the end: %s\n", ProcessProbe::MachineLoad().c_str());
        status = 0;
    }
    CloseAll(cameras);
    return status;
}
