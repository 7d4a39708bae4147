// SPDX-License-Identifier: Apache-2.0
// Helpers for the runtime tests: temporary homes with a logger writing into them, file access, waiting.
#pragma once

#include "runtime/LogCustom.h"
#include "runtime/PathTools.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace runtime_test {

/// A fresh directory under /tmp, removed with everything in it on destruction.
class TempDir
{
public:
    TempDir()
    {
        char pattern[] = "/tmp/orvane-runtime-XXXXXX";
        const char *made = mkdtemp(pattern);
        m_path = made != nullptr ? made : "";
    }
    ~TempDir()
    {
        std::error_code ignored;
        if (!m_path.empty()) {
            std::filesystem::remove_all(m_path, ignored);
        }
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &Path() const { return m_path; }

private:
    std::string m_path;
};

inline std::string ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

inline std::vector<std::string> ReadLines(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

inline void WriteFile(const std::string &path, const std::string &content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

/// Polls pred until it holds or timeout passes; returns its last value.
template <typename Pred>
bool WaitUntil(Pred pred, std::chrono::milliseconds timeout = std::chrono::seconds(10))
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return pred();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

/// Points the application-data directory at a temporary home and runs the logger there, so tests read
/// what was logged from the file and never touch the real home.
class LoggedHome
{
public:
    explicit LoggedHome(bool withConfigDirectory = true, bool toConsole = false) : m_toConsole(toConsole)
    {
        if (withConfigDirectory) {
            std::filesystem::create_directory(m_home.Path() + "/.config");
        }
        Path_SetHomeDirectoryOverride(m_home.Path());
        LogCustom::Initance("OrvaneSDK", "OrvaneSDK", toConsole);
    }
    ~LoggedHome()
    {
        LogCustom::Release();
        if (m_toConsole) {
            // The echo flag outlives the logger; a quiet logger instance resets it for later tests.
            LogCustom::Initance("OrvaneSDK", "OrvaneSDK", false);
            LogCustom::Release();
        }
        Path_SetHomeDirectoryOverride("");
    }
    LoggedHome(const LoggedHome &) = delete;
    LoggedHome &operator=(const LoggedHome &) = delete;

    const std::string &Home() const { return m_home.Path(); }
    std::string LogDirectory() const { return m_home.Path() + "/.config/Orvane/Log"; }
    std::string LogPath() const { return LogDirectory() + "/OrvaneSDK.txt"; }
    std::string BackupPath() const { return LogDirectory() + "/bakOrvaneSDK.txt"; }
    std::string Log() const { return ReadFile(LogPath()); }
    bool Logged(const std::string &text) const { return Log().find(text) != std::string::npos; }

private:
    TempDir m_home;
    bool m_toConsole;
};

} // namespace runtime_test
