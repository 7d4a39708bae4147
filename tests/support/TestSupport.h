// SPDX-License-Identifier: Apache-2.0
// The test suite's common ground: temporary directories, a private home with the logger writing into it,
// reading what was logged, and bounded waits.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orvtest {

/// Bound of waits for anything that should happen within a few periods.
constexpr unsigned kWaitMs = 5000;

/// Polls `condition` every few milliseconds until it holds or `timeoutMs` passes; its last value.
bool WaitUntil(const std::function<bool()> &condition, unsigned timeoutMs = 10000);

/// A copy of a field of a packed record, so that an assertion never binds a reference to a misaligned
/// member.
template <typename T> T Val(T value)
{
    return value;
}

/// A fresh directory under /tmp, removed with everything in it on destruction.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &Path() const { return m_path; }

private:
    std::string m_path;
};

std::string ReadFile(const std::string &path);
std::vector<std::string> ReadLines(const std::string &path);
void WriteFile(const std::string &path, const std::string &content);

/// Points the application-data directory at a temporary home and, unless told not to, runs the logger
/// there, so tests read what was logged from the file and never touch the real home.
class LoggedHome
{
public:
    explicit LoggedHome(bool withConfigDirectory = true, bool toConsole = false, bool startLogger = true);
    ~LoggedHome();
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
    bool m_logger;
};

/// A private home for a whole test process; `setUp` runs after it is in place (short manager rounds,
/// no discovery...). Register it with ::testing::AddGlobalTestEnvironment in one test file.
class PrivateHomeEnvironment : public ::testing::Environment
{
public:
    explicit PrivateHomeEnvironment(bool startLogger, std::function<void()> setUp = nullptr);
    void SetUp() override;
    void TearDown() override;

private:
    bool m_startLogger;
    std::function<void()> m_setUp;
    std::unique_ptr<LoggedHome> m_home;
};

/// The log file of this process as it stands now (empty without a logger).
std::string ReadLog();
/// Length of the log now; pass it to LogSince to read what was logged afterwards.
size_t LogMark();
std::string LogSince(size_t mark);

inline bool Contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

/// Threads of this process (entries of /proc/self/task).
int ThreadCount();
/// Open descriptors of this process (entries of /proc/self/fd).
int DescriptorCount();

/// The positive number the environment variable `name` holds, else `fallback`.
long EnvNumber(const char *name, long fallback);

} // namespace orvtest
