// SPDX-License-Identifier: Apache-2.0
// The process-wide logger: time-stamped lines to a rotating file under the application-data directory.
#pragma once

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

/// Logs one diagnostic line prefixed with the source file's base name, the line and the function.
#define TFLOG(fmt, ...)                                                                                      \
    ::LogCustom::Printf("[%s:%d:%s]:" fmt "\n", ::LogCustom::BaseName(__FILE__), __LINE__, __func__,         \
                        ##__VA_ARGS__)

/// The system's text for an errno value, safe to call from any thread.
std::string ErrnoText(int err);
/// Local time as "hh:mm:ss-mmm".
std::string GetTime();
/// Local date and time as "yyyy/mm/dd hh:mm:ss-mmm".
std::string GetDateTime();
/// Reads the whole file at path into buffer, which holds size bytes; on success size becomes the file
/// length. Fails (and logs) when the file cannot be opened or read or is longer than size.
bool ReadData(const char *path, unsigned char *buffer, unsigned int &size);

/// All state is process-wide, so Printf works before Initance (console only) and after Release.
class LogCustom
{
public:
    /// Creates the logger and opens its file unless it already exists (then the first settings stay).
    static void Initance(const std::string &fileName, const std::string &prefix, bool toConsole);
    /// Closes the file and destroys the logger.
    static void Release();
    /// Opens (appends to) the log file, creating the log directory when needed.
    static void Init();
    /// Writes one message; at most 1023 characters of the formatted text are kept.
    static void Printf(const char *format, ...) __attribute__((format(printf, 1, 2)));
    /// The path of the open log file, or an empty string when no file is open.
    static std::string GetLogFilePath();

    static constexpr const char *BaseName(const char *path)
    {
        const char *base = path;
        for (const char *p = path; *p != '\0'; ++p) {
            if (*p == '/') {
                base = p + 1;
            }
        }
        return base;
    }

    ~LogCustom();
    LogCustom(const LogCustom &) = delete;
    LogCustom &operator=(const LogCustom &) = delete;

    /// Messages (formatted text) are cut to this many bytes including the terminating NUL.
    static constexpr size_t kMessageBufferBytes = 1024;
    /// The file is rotated once its length reaches this many bytes.
    static constexpr long kRotateSizeBytes = 10L * 1024 * 1024;

private:
    LogCustom() = default;

    static std::string LogFilePathLocked();
    static std::string BackupFilePathLocked();
    static void RotateLocked();

    static std::unique_ptr<LogCustom> m_instance; // guarded by gmutex
    static std::string m_LogFileName;             // guarded by gmutex
    static std::string m_LogPreFix;               // guarded by gmutex
    static std::string m_LogDirectory;            // guarded by gmutex
    static FILE *m_PLogFile;                      // guarded by gmutex
    static bool m_LogToConsole;                   // guarded by gmutex
    static bool showDataTime;                     // guarded by gmutex; cleared once per process
    // Recursive because messages about paths are logged while the lock is held.
    static std::recursive_mutex gmutex;
    static const char *const SUFFIX;
};
