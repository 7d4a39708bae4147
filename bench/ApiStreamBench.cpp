// SPDX-License-Identifier: Apache-2.0
// End-to-end streaming through the public API from an orvane-camsim process over loopback: frames
// delivered per frame sent, this process's CPU time, latency from the camera's send to
// TFCM_ReadNextFrame returning, and the highest sustained set rate with the camera sending flat out.
// Usage: bench_api_stream [seconds per phase, default 10] [path of orvane-camsim]
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "Orvane_api.h"

#ifndef ORVANE_CAMSIM_PATH
#define ORVANE_CAMSIM_PATH "orvane-camsim"
#endif

namespace {

using Clock = std::chrono::steady_clock; // CLOCK_MONOTONIC, as the simulator's stream clock

constexpr const char *kSerial = "SNAPIBENCH";
constexpr const char *kCameraIp = "127.0.0.160";
constexpr unsigned kWarmUpMs = 2000;

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Percentile(std::vector<double> values, double fraction)
{
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    const size_t at = std::min(values.size() - 1, static_cast<size_t>(fraction * (values.size() - 1) + 0.5));
    return values[at];
}

/// The simulator as a child process, steered through its standard input.
class CamsimProcess
{
public:
    ~CamsimProcess() { Stop(); }

    /// Starts it and waits for its "ready" line; false when it cannot be started.
    bool Start(const std::string &path)
    {
        int toChild[2];
        int fromChild[2];
        if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0) {
            return false;
        }
        const std::string camera = std::string("serial=") + kSerial + ",ip=" + kCameraIp;
        m_spawnedAt = Clock::now();
        m_pid = fork();
        if (m_pid == 0) {
            dup2(toChild[0], STDIN_FILENO);
            dup2(fromChild[1], STDOUT_FILENO);
            execl(path.c_str(), path.c_str(), "--exit-on-eof", "--period-ms", "200", "--camera",
                  camera.c_str(), static_cast<char *>(nullptr));
            _exit(127);
        }
        close(toChild[0]);
        close(fromChild[1]);
        m_input = toChild[1];
        m_output = fromChild[0];
        if (m_pid < 0) {
            return false;
        }
        // Its stream clock starts while it starts serving, between its camera line and "ready".
        std::string line;
        while (ReadLine(line, 5000)) {
            if (line == "ready") {
                m_readyAt = Clock::now();
                return true;
            }
        }
        return false;
    }

    /// Sends one command and waits for its answer's last line ("ok" or an error).
    bool Command(const std::string &command)
    {
        const std::string text = command + "\n";
        if (write(m_input, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
            return false;
        }
        std::string line;
        while (ReadLine(line, 5000)) {
            if (line == "ok") {
                return true;
            }
            if (line.rfind("error", 0) == 0) {
                std::fprintf(stderr, "camsim: %s\n", line.c_str());
                return false;
            }
        }
        return false;
    }

    void Stop()
    {
        if (m_input >= 0) {
            close(m_input); // end of input: it exits
            m_input = -1;
        }
        if (m_pid > 0) {
            int status = 0;
            waitpid(m_pid, &status, 0);
            m_pid = -1;
        }
        if (m_output >= 0) {
            close(m_output);
            m_output = -1;
        }
    }

    Clock::time_point SpawnedAt() const { return m_spawnedAt; }
    Clock::time_point ReadyAt() const { return m_readyAt; }

private:
    bool ReadLine(std::string &line, int timeoutMs)
    {
        line.clear();
        for (;;) {
            const size_t end = m_pending.find('\n');
            if (end != std::string::npos) {
                line = m_pending.substr(0, end);
                m_pending.erase(0, end + 1);
                return true;
            }
            pollfd fd{m_output, POLLIN, 0};
            if (poll(&fd, 1, timeoutMs) <= 0) {
                return false;
            }
            char buffer[4096];
            const ssize_t count = read(m_output, buffer, sizeof buffer);
            if (count <= 0) {
                return false;
            }
            m_pending.append(buffer, static_cast<size_t>(count));
        }
    }

    pid_t m_pid = -1;
    int m_input = -1;
    int m_output = -1;
    std::string m_pending;
    Clock::time_point m_spawnedAt;
    Clock::time_point m_readyAt;
};

struct PhaseResult
{
    unsigned long sets = 0;
    unsigned long framesSent = 0; // from the camera's frame counter carried in each set
    unsigned long colorSets = 0;
    unsigned colorWidth = 0;
    unsigned colorHeight = 0;
    double seconds = 0.0;
    double cpuShare = 0.0;
    std::vector<double> latencyMs;
};

/// When a set's read returned and the send time its camera stamped on it (microseconds of its clock).
struct Arrival
{
    Clock::time_point returned;
    uint64_t timestampUs;
};

/// Reads sets for `seconds`; the send time of each is the camera's stream clock (`streamEpoch`) plus the
/// microseconds its timestamp sub-packet carries. No set arrives before it was sent, so an arrival
/// earlier than that shows the clock started sooner, and the epoch moves back to it.
PhaseResult Measure(TfDeviceHandle device, double seconds, Clock::time_point streamEpoch)
{
    PhaseResult result;
    std::vector<Arrival> arrivals;
    arrivals.reserve(static_cast<size_t>(seconds * 1000));
    const Clock::time_point start = Clock::now();
    const double cpuStart = CpuSeconds();
    int lastCounter = -1;
    while (Seconds(Clock::now() - start) < seconds) {
        TfFrameReady ready{};
        if (TFCM_ReadNextFrame(device, &ready) != 0 || !ready.depth) {
            continue;
        }
        const Clock::time_point returned = Clock::now();
        TfFrame depth{};
        if (TFCM_GetFrame(device, TF_FRAME_DEPTH, &depth) != 0) {
            continue;
        }
        ++result.sets;
        TfFrame color{};
        if (ready.color && TFCM_GetFrame(device, TF_FRAME_COLOR, &color) == 0) {
            ++result.colorSets;
            result.colorWidth = color.width;
            result.colorHeight = color.height;
        }
        // The camera numbers its buffers in one byte: the steps between sets count the frames it sent.
        const int counter = depth.imuFrameNo;
        result.framesSent += lastCounter < 0 ? 1 : static_cast<unsigned>((counter - lastCounter + 256) % 256);
        lastCounter = counter;
        const uint64_t timestampUs = depth.timestamp;
        if (timestampUs != 0) {
            arrivals.push_back(Arrival{returned, timestampUs});
        }
    }
    result.seconds = Seconds(Clock::now() - start);
    result.cpuShare = (CpuSeconds() - cpuStart) / result.seconds;
    for (const Arrival &a : arrivals) {
        streamEpoch = std::min(streamEpoch, a.returned - std::chrono::microseconds(a.timestampUs));
    }
    for (const Arrival &a : arrivals) {
        const Clock::time_point sent = streamEpoch + std::chrono::microseconds(a.timestampUs);
        result.latencyMs.push_back(std::chrono::duration<double, std::milli>(a.returned - sent).count());
    }
    return result;
}

void Print(const char *title, const PhaseResult &r)
{
    std::printf("%s\n", title);
    std::printf("  sets delivered      %lu in %.1f s (%.1f per second), %lu with colour (%u x %u)\n", r.sets,
                r.seconds, r.sets / r.seconds, r.colorSets, r.colorWidth, r.colorHeight);
    std::printf("  frames sent         %lu (%.1f per second); delivered per sent %.3f\n", r.framesSent,
                r.framesSent / r.seconds, r.framesSent ? static_cast<double>(r.sets) / r.framesSent : 0.0);
    std::printf("  CPU of this process %.1f %% of one core\n", 100.0 * r.cpuShare);
    if (r.latencyMs.empty()) {
        std::printf("  latency             no device timestamps in the frames\n");
    } else {
        std::printf("  latency send->read  median %.2f ms, p99 %.2f ms, max %.2f ms (%zu sets)\n",
                    Percentile(r.latencyMs, 0.5), Percentile(r.latencyMs, 0.99),
                    *std::max_element(r.latencyMs.begin(), r.latencyMs.end()), r.latencyMs.size());
    }
}

/// Both undistortion switches and both image mappings, on or off together.
void SetGeometry(TfDeviceHandle device, bool on)
{
    std::printf("geometry %s: %d %d %d %d\n", on ? "on" : "off",
                TFCM_SetToFDistortionCorrectionEnabled(device, on),
                TFCM_SetColorDistortionCorrectionEnabled(device, on),
                TFCM_SetTransformDepthImgToColorCameraEnabled(device, on),
                TFCM_SetTransformColorImgToDepthCameraEnabled(device, on));
}

bool WaitForCamera(const std::string &uri, unsigned timeoutMs)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < deadline) {
        char ip[16] = {};
        uint32_t count = 0;
        if (TFCM_GetDeviceCount(&count) == 0 && count > 0 && TFCM_GetDeviceIP(uri.c_str(), ip) == 0 &&
            std::strcmp(ip, kCameraIp) == 0) {
            std::vector<TfDeviceInfo> list(count);
            if (TFCM_GetDeviceListInfo(list.data(), count) == 0) {
                for (const TfDeviceInfo &info : list) {
                    if (uri == info.uri) {
                        return true;
                    }
                }
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    const std::string camsimPath = argc > 2 ? argv[2] : ORVANE_CAMSIM_PATH;
    if (seconds <= 0.0) {
        std::fprintf(stderr, "usage: %s [seconds per phase] [orvane-camsim]\n", argv[0]);
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);

    CamsimProcess camsim;
    if (!camsim.Start(camsimPath)) {
        std::fprintf(stderr, "cannot start %s\n", camsimPath.c_str());
        return 1;
    }
    // The simulator's stream clock (the zero of the timestamps it sends) starts while it starts serving,
    // after the spawn and before its "ready" line: taking "ready" as the zero can only make a latency
    // look shorter, by less than the spawn-to-ready time printed here.
    const Clock::time_point streamEpoch = camsim.ReadyAt();
    std::printf("camsim started in %.2f ms; stream clock taken from its \"ready\" line\n",
                1000.0 * Seconds(camsim.ReadyAt() - camsim.SpawnedAt()));

    // Both lenses distort (the test lens), so that undistortion has work to do.
    for (const char *sensor : {"tof", "color"}) {
        camsim.Command(std::string("lens ") + kSerial + " " + sensor + " -0.25 0.08 0.001 -0.0015 -0.01");
    }
    if (TFCM_Initialize() != 0) {
        return 1;
    }
    const std::string uri = std::string("KR52Lite:") + kSerial;
    int status = 1;
    TfDeviceHandle device = nullptr;
    if (!WaitForCamera(uri, 8000)) {
        std::fprintf(stderr, "camera %s not listed\n", uri.c_str());
    } else if (TFCM_OpenDevice(uri.c_str(), &device) != 0) {
        std::fprintf(stderr, "cannot open %s\n", uri.c_str());
    } else {
        uint8_t dataMode = 0xFF;
        TFCM_GetDataMode(device, &dataMode);
        if (dataMode != 0) {
            std::printf("data mode %u -> 0: %d\n", dataMode, TFCM_SetDataMode(device, 0));
        }
        std::printf("colour 1600 x 1200: %d\n", TFCM_SetColorResolution(device, TF_COLOR_1600X1200));
        SetGeometry(device, false);
        std::this_thread::sleep_for(std::chrono::milliseconds(kWarmUpMs));

        const PhaseResult plain = Measure(device, seconds, streamEpoch);
        Print("25 fps: four-phase raw depth (data mode 0) + 1600x1200 JPEG colour", plain);

        SetGeometry(device, true);
        std::this_thread::sleep_for(std::chrono::milliseconds(kWarmUpMs));
        const PhaseResult geometry = Measure(device, seconds, streamEpoch);
        Print("25 fps, the same with both undistortions, depth to colour and colour to depth on", geometry);
        std::printf("geometry adds %.1f %% of one core\n", 100.0 * (geometry.cpuShare - plain.cpuShare));
        SetGeometry(device, false);

        if (camsim.Command(std::string("frame-period ") + kSerial + " 0")) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kWarmUpMs));
            const PhaseResult fast = Measure(device, seconds, streamEpoch);
            Print("camera sending as fast as the connection takes (frame-period 0)", fast);
            std::printf("highest sustained set rate: %.1f sets per second\n", fast.sets / fast.seconds);
            status = 0;
        }
        TFCM_CloseDevice(&device);
    }
    TFCM_Shutdown();
    camsim.Stop();
    return status;
}
