// SPDX-License-Identifier: Apache-2.0
// Measures hot-plug latency with the library's default timing: a simulated camera's first datagram to
// its add callback, and its last datagram to its remove callback. Usage: bench_hotplug_latency [trials]
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "CameraSimulator.h"
#include "Orvane_api.h"

namespace {
using Clock = std::chrono::steady_clock;

std::mutex g_mutex;
std::condition_variable g_changed;
int g_lastType = -1;    // guarded by g_mutex
Clock::time_point g_at; // guarded by g_mutex

void OnHotPlug(const TfDeviceInfo *, int type)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_lastType = type;
    g_at = Clock::now();
    g_changed.notify_all();
}

bool WaitForType(int type, Clock::time_point &at)
{
    std::unique_lock<std::mutex> lock(g_mutex);
    bool ok = g_changed.wait_for(lock, std::chrono::seconds(15), [type] { return g_lastType == type; });
    at = g_at;
    return ok;
}

double Ms(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}
} // namespace

int main(int argc, char **argv)
{
    int trials = argc > 1 ? std::atoi(argv[1]) : 3;
    if (TFCM_Initialize() != 0) {
        std::fprintf(stderr, "TFCM_Initialize failed\n");
        return 1;
    }
    TFCM_SetHotPlugStatusCallback(&OnHotPlug);
    double addSum = 0, addMax = 0, removeSum = 0, removeMax = 0;
    for (int trial = 0; trial < trials; ++trial) {
        CameraSimulator sim; // the camera's default period: one announcement a second
        SimCameraConfig config;
        config.serial = "SNLAT" + std::to_string(trial);
        config.address = "127.0.0.2";
        SimCamera &camera = sim.AddCamera(config);
        {
            std::lock_guard<std::mutex> lock(g_mutex);
            g_lastType = -1;
        }
        Clock::time_point first = Clock::now();
        sim.Start(); // the first round goes out at once
        Clock::time_point added;
        if (!WaitForType(0, added)) {
            std::fprintf(stderr, "no add callback\n");
            return 1;
        }
        sim.WaitForAnnouncements(0, camera.AnnouncementsSent() + 1, 5000);
        camera.SetAnnouncing(false);
        Clock::time_point last = Clock::now();
        Clock::time_point removed;
        if (!WaitForType(1, removed)) {
            std::fprintf(stderr, "no remove callback\n");
            return 1;
        }
        double add = Ms(first, added), remove = Ms(last, removed);
        std::printf("trial %d: first datagram -> add %.0f ms, last datagram -> remove %.0f ms\n", trial, add,
                    remove);
        addSum += add;
        removeSum += remove;
        addMax = add > addMax ? add : addMax;
        removeMax = remove > removeMax ? remove : removeMax;
    }
    std::printf("add: mean %.0f ms, max %.0f ms; remove: mean %.0f ms, max %.0f ms (%d trials)\n",
                addSum / trials, addMax, removeSum / trials, removeMax, trials);
    TFCM_SetHotPlugStatusCallback(nullptr);
    TFCM_Shutdown();
    return 0;
}
