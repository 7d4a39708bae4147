// SPDX-License-Identifier: Apache-2.0
// The test suite's common ground: temporary homes, the log and bounded waits.
#include "TestSupport.h"

#include <dirent.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "runtime/LogCustom.h"
#include "runtime/PathTools.h"

namespace orvtest {

bool WaitUntil(const std::function<bool()> &condition, unsigned timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return condition();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

TempDir::TempDir()
{
    char pattern[] = "/tmp/orvane-test-XXXXXX";
    const char *made = mkdtemp(pattern);
    m_path = made != nullptr ? made : "";
}

TempDir::~TempDir()
{
    std::error_code ignored;
    if (!m_path.empty()) {
        std::filesystem::remove_all(m_path, ignored);
    }
}

std::string ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::vector<std::string> ReadLines(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

void WriteFile(const std::string &path, const std::string &content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

LoggedHome::LoggedHome(bool withConfigDirectory, bool toConsole, bool startLogger)
    : m_toConsole(toConsole), m_logger(startLogger)
{
    if (withConfigDirectory) {
        // The application-data directory is created one level deep only, so its parent must exist.
        std::filesystem::create_directory(m_home.Path() + "/.config");
    }
    Path_SetHomeDirectoryOverride(m_home.Path());
    if (m_logger) {
        LogCustom::Initance("OrvaneSDK", "OrvaneSDK", toConsole);
    }
}

LoggedHome::~LoggedHome()
{
    if (m_logger) {
        LogCustom::Release();
    }
    if (m_toConsole) {
        // The echo flag outlives the logger; a quiet logger instance resets it for later tests.
        LogCustom::Initance("OrvaneSDK", "OrvaneSDK", false);
        LogCustom::Release();
    }
    Path_SetHomeDirectoryOverride("");
}

PrivateHomeEnvironment::PrivateHomeEnvironment(bool startLogger, std::function<void()> setUp)
    : m_startLogger(startLogger), m_setUp(std::move(setUp))
{
}

void PrivateHomeEnvironment::SetUp()
{
    m_home = std::make_unique<LoggedHome>(true, false, m_startLogger);
    if (m_setUp) {
        m_setUp();
    }
}

void PrivateHomeEnvironment::TearDown()
{
    m_home.reset();
}

std::string ReadLog()
{
    // A log closed by a shutdown is still read where it was last open.
    static std::string lastPath;
    const std::string path = LogCustom::GetLogFilePath();
    if (!path.empty()) {
        lastPath = path;
    }
    return lastPath.empty() ? std::string() : ReadFile(lastPath);
}

size_t LogMark()
{
    return ReadLog().size();
}

std::string LogSince(size_t mark)
{
    const std::string text = ReadLog();
    return mark < text.size() ? text.substr(mark) : std::string();
}

namespace {
/// Entries of a /proc directory; -1 when it cannot be read.
int EntryCount(const char *path)
{
    int count = 0;
    DIR *dir = opendir(path);
    if (dir == nullptr) {
        return -1;
    }
    while (dirent *entry = readdir(dir)) {
        count += entry->d_name[0] != '.';
    }
    closedir(dir);
    return count;
}
} // namespace

int ThreadCount()
{
    return EntryCount("/proc/self/task");
}

int DescriptorCount()
{
    const int count = EntryCount("/proc/self/fd");
    return count < 0 ? count : count - 1; // the descriptor of the listing itself
}

long EnvNumber(const char *name, long fallback)
{
    const char *text = std::getenv(name);
    const long value = text != nullptr ? std::atol(text) : 0;
    return value > 0 ? value : fallback;
}

} // namespace orvtest
