// SPDX-License-Identifier: Apache-2.0
// What `orvane-cli stream` costs beyond reading the frames: an orvane-camsim process streams depth, IR,
// confidence and colour at 25 fps, and this process reads them in alternating phases, bare and with the
// command's own work (per-stream statistics of every frame, the drop counters, the table and the JSON
// record each second). It prints the process's CPU per phase and the CPU the command's work took itself.
// Usage: bench_cli_stream [seconds per phase, default 10] [rounds, default 3] [path of orvane-camsim]
#include <signal.h>
#include <sys/resource.h>
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "FrameCapture.h"
#include "Orvane_api.h"
#include "StreamChoice.h"
#include "StreamMeter.h"
#include "StreamReport.h"
#include "soak/CamsimProcess.h"

#ifndef ORVANE_CAMSIM_PATH
#define ORVANE_CAMSIM_PATH "orvane-camsim"
#endif

namespace {

using Clock = std::chrono::steady_clock;
using namespace orvane::cli;

constexpr const char *kSerial = "SNCLIBENCH";
constexpr const char *kCameraIp = "127.0.0.235";

double ProcessCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double ThreadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

struct Phase
{
    double seconds = 0.0;
    double cpuShare = 0.0;  // of this process, of one core
    double workShare = 0.0; // of the command's own work, of one core
    double observeUs = 0.0; // of that work, per set
    double reportUs = 0.0;  // of that work, per second's report
    unsigned long sets = 0;
    unsigned long reports = 0;
    unsigned long frames = 0;
};

/// Reads sets for `seconds`; with `measure`, does what `stream` does with each set and each second.
Phase RunPhase(TfDeviceHandle device, double seconds, bool measure)
{
    Phase phase;
    FrameCapture capture(device, FrameCapture::Pixels::Borrow);
    std::unique_ptr<StreamMeter> meter;
    if (measure) {
        meter = std::make_unique<StreamMeter>(device,
                                              StreamChoice::Ordered({"depth", "ir", "confidence", "color"}));
    }
    std::ostringstream out;
    double observeSeconds = 0.0;
    double reportSeconds = 0.0;
    const Clock::time_point start = Clock::now();
    Clock::time_point nextReport = start + std::chrono::seconds(1);
    const double cpuStart = ProcessCpuSeconds();
    while (std::chrono::duration<double>(Clock::now() - start).count() < seconds) {
        if (capture.ReadNext() == TF_OK) {
            ++phase.sets;
            phase.frames += capture.Frames().size();
            if (meter) {
                const double before = ThreadCpuSeconds();
                meter->Observe(capture);
                observeSeconds += ThreadCpuSeconds() - before;
            }
        }
        const Clock::time_point now = Clock::now();
        if (meter && now >= nextReport) {
            const double before = ThreadCpuSeconds();
            const double elapsed = std::chrono::duration<double>(now - start).count();
            const std::vector<StreamRow> rows = meter->Rows(now);
            out << StreamReport::Redraw(StreamReport::Table(elapsed, rows), 6)
                << StreamReport::Record(elapsed, rows, false).dump() << '\n';
            out.str("");
            reportSeconds += ThreadCpuSeconds() - before;
            ++phase.reports;
            nextReport += std::chrono::seconds(1);
        }
    }
    phase.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    phase.cpuShare = (ProcessCpuSeconds() - cpuStart) / phase.seconds;
    phase.workShare = (observeSeconds + reportSeconds) / phase.seconds;
    phase.observeUs = phase.sets > 0 ? 1e6 * observeSeconds / static_cast<double>(phase.sets) : 0.0;
    phase.reportUs = phase.reports > 0 ? 1e6 * reportSeconds / static_cast<double>(phase.reports) : 0.0;
    return phase;
}

bool WaitForCamera(const std::string &uri, unsigned timeoutMs)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < deadline) {
        char ip[16] = {};
        if (TFCM_GetDeviceIP(uri.c_str(), ip) == TF_OK && std::strcmp(ip, kCameraIp) == 0) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

int Measure(TfDeviceHandle device, double seconds, int rounds)
{
    std::string failed;
    if (StreamChoice::Apply(device, {"depth", "ir", "confidence", "color"}, failed) != TF_OK ||
        TFCM_StartStream(device) != TF_OK) {
        std::fprintf(stderr, "cannot start the stream (%s)\n", failed.c_str());
        return 1;
    }
    RunPhase(device, 2.0, false); // warm-up: the pipeline's pools and the decoders settle
    double bareSum = 0.0;
    double measuredSum = 0.0;
    double workSum = 0.0;
    for (int round = 1; round <= rounds; ++round) {
        const Phase bare = RunPhase(device, seconds, false);
        const Phase measured = RunPhase(device, seconds, true);
        std::printf(
            "round %d: bare %.1f %% of a core (%.1f sets/s), with stream's work %.1f %% (%.1f sets/s); "
            "the work itself %.3f %% (%.1f us per set, %.0f us per report)\n",
            round, 100.0 * bare.cpuShare, bare.sets / bare.seconds, 100.0 * measured.cpuShare,
            measured.sets / measured.seconds, 100.0 * measured.workShare, measured.observeUs,
            measured.reportUs);
        bareSum += bare.cpuShare;
        measuredSum += measured.cpuShare;
        workSum += measured.workShare;
    }
    std::printf(
        "mean over %d rounds of %.0f s: bare %.2f %%, with stream's work %.2f %%, difference %+.2f %% "
        "of a core; the work itself, timed on its thread: %.3f %% of a core\n",
        rounds, seconds, 100.0 * bareSum / rounds, 100.0 * measuredSum / rounds,
        100.0 * (measuredSum - bareSum) / rounds, 100.0 * workSum / rounds);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    const std::string camsimPath = argc > 3 ? argv[3] : ORVANE_CAMSIM_PATH;
    if (seconds <= 0.0 || rounds <= 0) {
        std::fprintf(stderr, "usage: %s [seconds per phase] [rounds] [orvane-camsim]\n", argv[0]);
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);
    CamsimProcess camsim;
    if (!camsim.Start(camsimPath, {"--exit-on-eof", "--period-ms", "200", "--camera",
                                   std::string("serial=") + kSerial + ",ip=" + kCameraIp})) {
        std::fprintf(stderr, "cannot start %s\n", camsimPath.c_str());
        return 1;
    }
    if (TFCM_Initialize() != TF_OK) {
        return 1;
    }
    const std::string uri = std::string("KR52Lite:") + kSerial;
    TfDeviceHandle device = nullptr;
    int status = 1;
    if (!WaitForCamera(uri, 8000) || TFCM_OpenDevice(uri.c_str(), &device) != TF_OK) {
        std::fprintf(stderr, "cannot open %s\n", uri.c_str());
    } else {
        status = Measure(device, seconds, rounds);
        TFCM_StopStream(device);
        TFCM_CloseDevice(&device);
    }
    TFCM_Shutdown();
    camsim.Stop();
    return status;
}
