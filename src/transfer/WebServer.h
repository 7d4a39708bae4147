// SPDX-License-Identifier: Apache-2.0
// WebServer: the process-wide HTTP server through which cameras fetch the firmware image or JSON
// configuration announced to them and upload their calibration files to the host.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "runtime/Mutex.h"
#include "transfer/UploadRules.h"

struct mg_context;
struct mg_connection;

/// Listens on the camera-facing host address and the port (8080 unless a test sets another) only
/// while a job needs it. Each job registers what it serves (one file, by name) and what it accepts on
/// "/upload"; the server serves nothing else (404; no directory listing, no server-side includes, no
/// CGI), stops when the last job releases its registration, and stops on Shutdown. A stop returns
/// within about 100 ms, also while a client holds an idle connection, and leaves no server thread or
/// descriptor behind. The application's SIGINT and SIGTERM dispositions are left alone; CivetWeb sets
/// SIGPIPE to ignored for the process once the server has started.
class WebServer
{
public:
    static constexpr unsigned short kDefaultPort = 8080;

    /// Who a job serves: a firmware upgrade and a JSON configuration each have one at a time, and the
    /// workers that end them release it by purpose; a file transfer releases its own job by id.
    enum class Purpose
    {
        kFirmware,
        kJson,
        kTransfer,
    };

    /// What one job needs from the server.
    struct Job
    {
        Purpose purpose = Purpose::kTransfer;
        std::string host;        ///< the host's address on the camera's network; required
        std::string servedPath;  ///< the file a camera may fetch (by its file name), or empty
        UploadFileParams upload; ///< what "/upload" accepts for this job (no expected name: nothing)
    };

    static WebServer *getInstance();

    /// Registers a job and starts the server if it is the first. A positive job id, or -1 (logged) when
    /// the server cannot listen ("Cannot listen on %s. Use http://ADDR:PORT or :PORT"), the host
    /// differs from a running job's, or another job serves or accepts a name this one needs.
    int AcquireJob(const Job &job) EXCLUDES(m_lifeMutex, m_mutex);
    /// Ends a job's registration; the last one stops the server. An unknown id changes nothing.
    void ReleaseJob(int id) EXCLUDES(m_lifeMutex, m_mutex);
    /// Ends every job of `purpose` (the firmware or JSON configuration worker's end); the last job
    /// stops the server.
    void ReleasePurpose(Purpose purpose) EXCLUDES(m_lifeMutex, m_mutex);
    /// Stops the server and forgets every job (the library's shutdown).
    void Shutdown() EXCLUDES(m_lifeMutex, m_mutex);

    void setPort(unsigned short port) EXCLUDES(m_lifeMutex, m_mutex);
    unsigned short getPort() const EXCLUDES(m_lifeMutex, m_mutex);
    /// The port actually listened on (the set one, or the one chosen for port 0); 0 while stopped.
    unsigned short ListeningPort() const EXCLUDES(m_lifeMutex, m_mutex);
    bool isRunning() const EXCLUDES(m_lifeMutex, m_mutex);

private:
    WebServer() = default;
    bool StartLocked(const std::string &host) REQUIRES(m_lifeMutex);
    void StopLocked() REQUIRES(m_lifeMutex);
    /// Ends the jobs `match` picks; the last one gone stops the server.
    void ReleaseWhere(const std::function<bool(int, const Job &)> &match) EXCLUDES(m_lifeMutex, m_mutex);
    static int HandleUpload(mg_connection *conn, void *self);
    static int HandleFile(mg_connection *conn, void *self);
    /// The job that serves `name` or expects it as an upload (copy), false when none.
    bool FindServed(const std::string &name, std::string &path) const EXCLUDES(m_mutex);
    bool FindUpload(const std::string &name, UploadFileParams &params) const EXCLUDES(m_mutex);

    /// Serialises starts and stops (held across them); taken before m_mutex. The request handlers take
    /// only m_mutex, so a stop, which waits for them, never holds it.
    mutable Mutex m_lifeMutex;
    mutable Mutex m_mutex;
    std::map<int, Job> m_jobs GUARDED_BY(m_mutex);
    int m_nextJob GUARDED_BY(m_mutex) = 1;
    mg_context *m_context GUARDED_BY(m_lifeMutex) = nullptr;
    std::string m_host GUARDED_BY(m_lifeMutex);
    unsigned short m_port GUARDED_BY(m_lifeMutex) = kDefaultPort;
    unsigned short m_listeningPort GUARDED_BY(m_lifeMutex) = 0;
};
