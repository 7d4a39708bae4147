// SPDX-License-Identifier: Apache-2.0
// Long runs on one simulated camera (an orvane-camsim process) through the public API: many
// open/stream/close cycles, then one long stream with the camera sending as fast as it is read. Resident
// memory, threads and descriptors are sampled after every cycle and every second of the stream, and their
// least-squares slopes printed: a leak shows as a slope, a flat run as about zero.
// Usage: bench_soak_cycles [--cycles N] [--sets-per-cycle K] [--frames N] [--stream computed|raw] [--host
// 220] [--json FILE]
//        [--camsim PATH] [--lock FILE|none]
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "CameraReader.h"
#include "CamsimProcess.h"
#include "DiscoveryLock.h"
#include "Orvane_api.h"
#include "ProcessProbe.h"
#include "SoakStats.h"

#ifndef ORVANE_CAMSIM_PATH
#define ORVANE_CAMSIM_PATH "orvane-camsim"
#endif

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char *kSerial = "SOAKLONG";
constexpr unsigned kOpenTimeoutMs = 15000;
constexpr unsigned kSetTimeoutMs = 5000;

struct Options
{
    unsigned cycles = 1000;
    unsigned setsPerCycle = 3;
    unsigned long frames = 100000;
    unsigned host = 220;
    bool rawStream = false; // the long stream in raw four-phase depth instead of camera-computed images
    std::string json;
    std::string camsim = ORVANE_CAMSIM_PATH;
    std::string lock = "/tmp/orvane-loopback.lock";
};

bool ParseOptions(int argc, char **argv, Options &o)
{
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        const std::string value = argv[i + 1];
        if (key == "--cycles") {
            o.cycles = static_cast<unsigned>(std::atoi(value.c_str()));
        } else if (key == "--sets-per-cycle") {
            o.setsPerCycle = static_cast<unsigned>(std::atoi(value.c_str()));
        } else if (key == "--frames") {
            o.frames = std::strtoul(value.c_str(), nullptr, 10);
        } else if (key == "--stream" && (value == "raw" || value == "computed")) {
            o.rawStream = value == "raw";
        } else if (key == "--host") {
            o.host = static_cast<unsigned>(std::atoi(value.c_str()));
        } else if (key == "--json") {
            o.json = value;
        } else if (key == "--camsim") {
            o.camsim = value;
        } else if (key == "--lock") {
            o.lock = value == "none" ? "" : value;
        } else {
            return false;
        }
    }
    return argc % 2 == 1 && o.host >= 2 && o.host <= 254;
}

void OnSignal(int)
{
    CamsimProcess::KillAll();
    _exit(130);
}

/// Resources against a run variable (cycles, frames or minutes) and their slopes.
struct Series
{
    std::vector<double> x;
    std::vector<double> rssMb;
    std::vector<double> threads;
    std::vector<double> descriptors;

    void Add(double at, const ProcessSample &s)
    {
        x.push_back(at);
        rssMb.push_back(s.rssMb);
        threads.push_back(s.threads);
        descriptors.push_back(s.descriptors);
    }

    /// Prints first, last, range and slopes per `per` units of x, from the `skip`-th point on.
    void Print(const char *title, double per, const char *unit, size_t skip, FILE *json) const
    {
        if (x.size() <= skip + 1) {
            std::printf("%s: too few points\n", title);
            return;
        }
        const std::vector<double> xs(x.begin() + static_cast<long>(skip), x.end());
        auto tail = [&](const std::vector<double> &v) {
            return std::vector<double>(v.begin() + static_cast<long>(skip), v.end());
        };
        auto range = [&](const std::vector<double> &v, bool max) {
            double r = v[skip];
            for (size_t i = skip; i < v.size(); ++i) {
                r = max ? std::max(r, v[i]) : std::min(r, v[i]);
            }
            return r;
        };
        const double rssSlope = per * soak::Slope(xs, tail(rssMb));
        const double threadSlope = per * soak::Slope(xs, tail(threads));
        const double fdSlope = per * soak::Slope(xs, tail(descriptors));
        std::printf("%s (%zu points from %g on):\n"
                    "  RSS          %.1f MB first, %.1f MB last, %.1f..%.1f MB; slope %+.4f MB per %g %s\n"
                    "  threads      %.0f first, %.0f last, %.0f..%.0f; slope %+.5f per %g %s\n"
                    "  descriptors  %.0f first, %.0f last, %.0f..%.0f; slope %+.5f per %g %s\n",
                    title, xs.size(), xs.front(), rssMb[skip], rssMb.back(), range(rssMb, false),
                    range(rssMb, true), rssSlope, per, unit, threads[skip], threads.back(),
                    range(threads, false), range(threads, true), threadSlope, per, unit, descriptors[skip],
                    descriptors.back(), range(descriptors, false), range(descriptors, true), fdSlope, per,
                    unit);
        if (json != nullptr) {
            std::fprintf(json,
                         "  \"%s\": {\"points\": %zu, \"per\": \"%g %s\", \"rss_mb_first\": %.2f, "
                         "\"rss_mb_last\": %.2f, "
                         "\"rss_slope\": %.5f, \"threads_first\": %.0f, \"threads_last\": %.0f, "
                         "\"threads_slope\": %.6f, "
                         "\"fds_first\": %.0f, \"fds_last\": %.0f, \"fds_slope\": %.6f},\n",
                         title, xs.size(), per, unit, rssMb[skip], rssMb.back(), rssSlope, threads[skip],
                         threads.back(), threadSlope, descriptors[skip], descriptors.back(), fdSlope);
        }
    }
};

/// Reads `sets` sets from an open camera; false when one does not come in time.
bool ReadSets(TfDeviceHandle device, unsigned sets)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kSetTimeoutMs);
    for (unsigned read = 0; read < sets;) {
        if (Clock::now() > deadline) {
            return false;
        }
        TfFrameReady ready{};
        TfFrame depth{};
        if (TFCM_ReadNextFrame(device, &ready) == 0 && ready.depth &&
            TFCM_GetFrame(device, TF_FRAME_DEPTH, &depth) == 0) {
            ++read;
        }
    }
    return true;
}

/// Opens, streams and closes the camera `o.cycles` times, sampling after every close.
bool RunCycles(const Options &o, const std::string &uri, const std::string &ip, FILE *json)
{
    Series series;
    const Clock::time_point start = Clock::now();
    unsigned done = 0;
    for (; done < o.cycles; ++done) {
        TfDeviceHandle device = CameraReader::OpenWhenListed(uri, ip, kOpenTimeoutMs);
        if (device == nullptr) {
            break;
        }
        const bool streamed = ReadSets(device, o.setsPerCycle);
        TFCM_CloseDevice(&device);
        if (!streamed) {
            std::fprintf(stderr, "cycle %u: no %u sets within %u ms\n", done + 1, o.setsPerCycle,
                         kSetTimeoutMs);
            break;
        }
        series.Add(done + 1, ProcessProbe::Take());
        if ((done + 1) % 100 == 0) {
            std::printf("  %u cycles, RSS %.1f MB, %.0f threads, %.0f descriptors\n", done + 1,
                        series.rssMb.back(), series.threads.back(), series.descriptors.back());
            std::fflush(stdout);
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("%u of %u open/stream/close cycles (%u sets each) in %.1f s, %.0f ms per cycle\n", done,
                o.cycles, o.setsPerCycle, seconds, done ? 1000.0 * seconds / done : 0.0);
    // The first cycles fill the library's pools and the allocator's arenas: the slope starts after them.
    series.Print("cycles", 1000.0, "cycles", std::min<size_t>(10, series.x.size() / 10), json);
    return done == o.cycles;
}

/// Opens the camera once and reads `o.frames` sets with the camera sending as fast as they are read.
bool RunLongStream(const Options &o, CamsimProcess &camsim, const std::string &uri, const std::string &ip,
                   DiscoveryLock &lock, FILE *json)
{
    TfDeviceHandle device = CameraReader::OpenWhenListed(uri, ip, kOpenTimeoutMs);
    if (device == nullptr) {
        return false;
    }
    // Open, the camera lives on its heartbeat: its announcements and the discovery port are free again.
    camsim.Command(std::string("silent ") + kSerial);
    lock.Release();
    std::printf("long stream: data mode %u (%d), colour 640 x 480 (%d), camera sending as fast as read\n",
                o.rawStream ? 0u : 5u, TFCM_SetDataMode(device, o.rawStream ? 0 : 5),
                TFCM_SetColorResolution(device, TF_COLOR_640X480));
    camsim.Command(std::string("frame-period ") + kSerial + " 0");
    CameraReader reader(device, camsim.ReadyAt());
    reader.Start();
    Series byFrames;
    Series byMinutes;
    const Clock::time_point start = Clock::now();
    double seconds = 0.0;
    for (int second = 1; reader.Counts().sets < o.frames; ++second) {
        std::this_thread::sleep_until(start + std::chrono::seconds(second));
        const ProcessSample s = ProcessProbe::Take();
        const ReaderCounts counts = reader.Counts();
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
        byFrames.Add(static_cast<double>(counts.sets), s);
        byMinutes.Add(seconds / 60.0, s);
        if (second % 30 == 0) {
            std::printf("  %4d s: %llu sets, RSS %.1f MB, %d threads, %d descriptors\n", second,
                        static_cast<unsigned long long>(counts.sets), s.rssMb, s.threads, s.descriptors);
            std::fflush(stdout);
        }
        if (counts.sets == 0 && second > 10) {
            break;
        }
    }
    reader.Stop();
    const ReaderCounts counts = reader.Counts();
    const std::vector<double> latencies = reader.LatenciesMs();
    std::printf("long stream: %llu sets in %.1f s (%.1f/s), camera sent %llu, delivered per sent %.4f, "
                "latency p50 %.2f ms p99 %.2f ms\n  %s\n",
                static_cast<unsigned long long>(counts.sets), seconds, counts.sets / seconds,
                static_cast<unsigned long long>(counts.framesSent),
                counts.framesSent ? static_cast<double>(counts.sets) / counts.framesSent : 0.0,
                soak::Percentile(latencies, 0.5), soak::Percentile(latencies, 0.99),
                reader.DropCounters().c_str());
    const size_t skip = std::min<size_t>(10, byFrames.x.size() / 10);
    byFrames.Print("long stream by frames", 10000.0, "frames", skip, json);
    byMinutes.Print("long stream by time", 1.0, "minute", skip, json);
    TFCM_CloseDevice(&device);
    return counts.sets >= o.frames;
}

} // namespace

int main(int argc, char **argv)
{
    Options o;
    if (!ParseOptions(argc, argv, o)) {
        std::fprintf(stderr,
                     "usage: %s [--cycles N] [--sets-per-cycle K] [--frames N] [--stream computed|raw] "
                     "[--host 220] [--json FILE] "
                     "[--camsim PATH] [--lock FILE|none]\n",
                     argv[0]);
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);
    signal(SIGINT, OnSignal);
    signal(SIGTERM, OnSignal);
    const std::string ip = "127.0.0." + std::to_string(o.host);
    const std::string uri = std::string("KR52Lite:") + kSerial;
    DiscoveryLock lock; // the cycles need the camera's announcements: held until the long stream is open
    CamsimProcess camsim;
    if (!lock.Acquire(o.lock) ||
        !camsim.Start(o.camsim, {"--exit-on-eof", "--period-ms", "200", "--camera",
                                 std::string("serial=") + kSerial + ",ip=" + ip}) ||
        TFCM_Initialize() != 0) {
        std::fprintf(stderr, "cannot start the camera or the library\n");
        return 1;
    }
    FILE *json = o.json.empty() ? nullptr : std::fopen(o.json.c_str(), "w");
    if (json != nullptr) {
        std::fprintf(json, "{\n");
    }
    std::printf("machine: %s\n", ProcessProbe::MachineLoad().c_str());
    bool ok = o.cycles == 0 || RunCycles(o, uri, ip, json);
    if (ok && o.frames > 0) {
        ok = RunLongStream(o, camsim, uri, ip, lock, json);
    }
    if (json != nullptr) {
        std::fprintf(json, "  \"ok\": %s\n}\n", ok ? "true" : "false");
        std::fclose(json);
    }
    std::printf("machine at the end: %s\n", ProcessProbe::MachineLoad().c_str());
    TFCM_Shutdown();
    lock.Release();
    camsim.Stop();
    return ok ? 0 : 1;
}
