// SPDX-License-Identifier: Apache-2.0
// Benchmark of one log message: format, write and flush to the log file under a temporary home.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>

#include "runtime/LogCustom.h"
#include "runtime/PathTools.h"

static void BM_LogMessage(benchmark::State &state)
{
    char dir[] = "/tmp/orvane-bench-XXXXXX";
    if (mkdtemp(dir) == nullptr) {
        state.SkipWithError("mkdtemp failed");
        return;
    }
    std::string home = dir;
    mkdir((home + "/.config").c_str(), 0777);
    Path_SetHomeDirectoryOverride(home);
    LogCustom::Initance("OrvaneSDK", "OrvaneSDK", false);
    int i = 0;
    for (auto _ : state) {
        TFLOG("frame %d depth range %d exposure %d us", i, i % 6, 1000 + i);
        ++i;
    }
    state.SetItemsProcessed(state.iterations());
    LogCustom::Release();
    Path_SetHomeDirectoryOverride("");
    std::string cleanup = "rm -rf '" + home + "'";
    if (std::system(cleanup.c_str()) != 0) {
        state.SkipWithError("cleanup failed");
    }
}
BENCHMARK(BM_LogMessage);

BENCHMARK_MAIN();
