// SPDX-License-Identifier: Apache-2.0
// The settings singleton's lifetime.
#include "runtime/Config.h"

#include <mutex>

namespace {

std::mutex g_instanceMutex;
std::unique_ptr<Config> g_instance; // guarded by g_instanceMutex

} // namespace

Config *Config::GetInstance()
{
    std::lock_guard<std::mutex> lock(g_instanceMutex);
    if (!g_instance) {
        g_instance.reset(new Config());
    }
    return g_instance.get();
}

void Config::Release()
{
    std::lock_guard<std::mutex> lock(g_instanceMutex);
    g_instance.reset();
}
