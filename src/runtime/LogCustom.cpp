// SPDX-License-Identifier: Apache-2.0
// The logger, the local-time string helpers and the whole-file reader.
#include "runtime/LogCustom.h"

#include "runtime/PathTools.h"

#include <pthread.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <ctime>

std::unique_ptr<LogCustom> LogCustom::m_instance;
std::string LogCustom::m_LogFileName = "OrvaneSDK";
std::string LogCustom::m_LogPreFix = "OrvaneSDK";
std::string LogCustom::m_LogDirectory;
FILE *LogCustom::m_PLogFile = nullptr;
bool LogCustom::m_LogToConsole = false;
bool LogCustom::showDataTime = true;
std::recursive_mutex LogCustom::gmutex;
const char *const LogCustom::SUFFIX = ".txt";

namespace {

/// Holds off cancellation while a line is written: a worker terminated after outliving its join may be
/// inside the logger, and a thread cancelled there (in the sanitized builds, whose interceptors the
/// cancellation cannot unwind through) died holding the log's lock, so the next line hung the process.
class CancellationHold
{
public:
    CancellationHold() { pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &m_previous); }
    ~CancellationHold()
    {
        int ignored = 0;
        pthread_setcancelstate(m_previous, &ignored);
    }
    CancellationHold(const CancellationHold &) = delete;
    CancellationHold &operator=(const CancellationHold &) = delete;

private:
    int m_previous = PTHREAD_CANCEL_ENABLE;
};

} // namespace

namespace {

struct LocalTime
{
    struct tm fields;
    int millisecond;
};

LocalTime NowLocal()
{
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    LocalTime local{};
    localtime_r(&now.tv_sec, &local.fields);
    local.millisecond = static_cast<int>(now.tv_nsec / 1000000L);
    return local;
}

} // namespace

std::string ErrnoText(int err)
{
    char text[128] = {};
    // The GNU variant may return a static string instead of filling `text`.
    const char *result = strerror_r(err, text, sizeof(text));
    return result != nullptr ? result : "";
}

std::string GetTime()
{
    const LocalTime now = NowLocal();
    char text[32];
    snprintf(text, sizeof text, "%02d:%02d:%02d-%03d", now.fields.tm_hour, now.fields.tm_min,
             now.fields.tm_sec, now.millisecond);
    return text;
}

std::string GetDateTime()
{
    const LocalTime now = NowLocal();
    char text[64];
    snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d-%03d", now.fields.tm_year + 1900,
             now.fields.tm_mon + 1, now.fields.tm_mday, now.fields.tm_hour, now.fields.tm_min,
             now.fields.tm_sec, now.millisecond);
    return text;
}

bool ReadData(const char *path, unsigned char *buffer, unsigned int &size)
{
    if (path == nullptr) {
        return false;
    }
    if (buffer == nullptr) {
        TFLOG("read %s is failed,pbuf is null", path);
        return false;
    }
    FILE *file = fopen(path, "rb");
    if (file == nullptr) {
        const int err = errno;
        TFLOG("open %s is failed,ECode:%d", path, err);
        return false;
    }
    long length = -1;
    if (fseek(file, 0, SEEK_END) == 0) {
        length = ftell(file);
    }
    if (length >= 0 && static_cast<unsigned long>(length) > size) {
        TFLOG("read %s is failed,pbuf is small:%d - %d", path, static_cast<int>(size),
              static_cast<int>(length));
        fclose(file);
        return false;
    }
    bool ok = length >= 0 && fseek(file, 0, SEEK_SET) == 0;
    if (ok) {
        const size_t readBytes = fread(buffer, 1, static_cast<size_t>(length), file);
        ok = readBytes == static_cast<size_t>(length);
    }
    if (!ok) {
        const int err = errno;
        TFLOG("fread %s is failed,Ecode:%d", path, err);
    } else {
        size = static_cast<unsigned int>(length);
    }
    fclose(file);
    return ok;
}

LogCustom::~LogCustom()
{
    std::lock_guard<std::recursive_mutex> lock(gmutex);
    if (m_PLogFile != nullptr) {
        fclose(m_PLogFile);
        m_PLogFile = nullptr;
    }
}

void LogCustom::Initance(const std::string &fileName, const std::string &prefix, bool toConsole)
{
    std::lock_guard<std::recursive_mutex> lock(gmutex);
    if (m_instance) {
        return;
    }
    m_instance.reset(new LogCustom());
    m_LogToConsole = toConsole;
    m_LogFileName = fileName;
    m_LogPreFix = prefix;
    Init();
}

void LogCustom::Release()
{
    std::lock_guard<std::recursive_mutex> lock(gmutex);
    m_instance.reset();
}

void LogCustom::Init()
{
    std::lock_guard<std::recursive_mutex> lock(gmutex);
    if (m_PLogFile != nullptr) {
        fclose(m_PLogFile);
        m_PLogFile = nullptr;
    }
    const std::string appDataDirectory = GetAppDataDirectory();
    if (appDataDirectory.empty()) {
        // Without an application-data directory the fallback "/Log" would land in the file-system root.
        m_LogDirectory.clear();
        return;
    }
    m_LogDirectory = appDataDirectory + "/Log";
    if (!IsDirectoryExist(m_LogDirectory.c_str()) && !CreateDirectory_(m_LogDirectory.c_str())) {
        const int err = errno;
        TFLOG("CreateDirectory %s failed errorcode:%d !", m_LogDirectory.c_str(), err);
        return;
    }
    const std::string path = LogFilePathLocked();
    m_PLogFile = fopen(path.c_str(), "a");
    if (m_PLogFile == nullptr) {
        const int err = errno;
        TFLOG("fopen_s %s failed errorcode:%d !", path.c_str(), err);
    }
}

std::string LogCustom::GetLogFilePath()
{
    std::lock_guard<std::recursive_mutex> lock(gmutex);
    return m_PLogFile != nullptr ? LogFilePathLocked() : std::string();
}

std::string LogCustom::LogFilePathLocked()
{
    return m_LogDirectory + "/" + m_LogFileName + SUFFIX;
}

std::string LogCustom::BackupFilePathLocked()
{
    return m_LogDirectory + "/bak" + m_LogFileName + SUFFIX;
}

void LogCustom::RotateLocked()
{
    const std::string path = LogFilePathLocked();
    const std::string backupPath = BackupFilePathLocked();
    remove(backupPath.c_str());
    fclose(m_PLogFile);
    m_PLogFile = nullptr;
    rename(path.c_str(), backupPath.c_str());
    m_PLogFile = fopen(path.c_str(), "a");
    if (m_PLogFile == nullptr) {
        const int err = errno;
        TFLOG("fopen_s %s failed errorcode:%d !", path.c_str(), err);
    }
}

void LogCustom::Printf(const char *format, ...)
{
    if (format == nullptr) {
        return;
    }
    // Declared before the lock, so that the lock is given back before a pending cancellation can act.
    const CancellationHold hold;
    std::lock_guard<std::recursive_mutex> lock(gmutex);
    char message[kMessageBufferBytes];
    va_list args;
    va_start(args, format);
    const int length = vsnprintf(message, sizeof message, format, args);
    va_end(args);
    if (length < 0) {
        return;
    }
    // Cutting a long message drops its newline; put it back so the next message starts its own line.
    const bool cut = static_cast<size_t>(length) >= sizeof message;
    const char *lineEnd = cut && message[sizeof message - 2] != '\n' ? "\n" : "";
    const std::string time = GetTime();

    if (m_LogToConsole) {
        printf("%s %s%s", time.c_str(), message, lineEnd);
        fflush(stdout);
    }
    if (m_PLogFile == nullptr) {
        return;
    }
    // The position after seeking to the end is the length: cheaper than asking the file system.
    if (fseek(m_PLogFile, 0, SEEK_END) == 0 && ftell(m_PLogFile) >= kRotateSizeBytes) {
        RotateLocked();
        if (m_PLogFile == nullptr) {
            return;
        }
    }
    fprintf(m_PLogFile, "%s %s%s", time.c_str(), message, lineEnd);
    if (showDataTime) {
        fprintf(m_PLogFile, "%s %s\n", time.c_str(), GetDateTime().c_str());
        showDataTime = false;
    }
    fflush(m_PLogFile);
}
