// SPDX-License-Identifier: Apache-2.0
// WebServer: CivetWeb started on one address for the jobs that need it, a handler that serves only the
// announced files, and the upload handler writing accepted chunks at their offsets.
#include "transfer/WebServer.h"

#include <arpa/inet.h>
#include <civetweb.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "runtime/LogCustom.h"
#include "transfer/ServerSockets.h"

namespace {

void Reply(mg_connection *conn, int status, const std::string &body)
{
    mg_printf(
        conn,
        "HTTP/1.1 %d %s\r\nContent-Type: text/plain\r\nContent-Length: %zu\r\nConnection: close\r\n\r\n%s",
        status,
        status == 200   ? "OK"
        : status == 404 ? "Not Found"
                        : "Bad Request",
        body.size(), body.c_str());
}

std::string QueryVar(const mg_request_info *request, const char *name)
{
    if (request->query_string == nullptr) {
        return {};
    }
    char value[256] = {};
    const int got =
        mg_get_var(request->query_string, std::strlen(request->query_string), name, value, sizeof value);
    return got >= 0 ? std::string(value, static_cast<size_t>(got)) : std::string();
}

std::string BaseName(const std::string &path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

WebServer *WebServer::getInstance()
{
    static WebServer *const instance = [] {
        mg_init_library(0);
        return new WebServer();
    }();
    return instance;
}

int WebServer::AcquireJob(const Job &job)
{
    MutexLock life(m_lifeMutex);
    {
        MutexLock lock(m_mutex);
        const std::string served = BaseName(job.servedPath);
        for (const auto &[id, other] : m_jobs) {
            const bool sameServed = !served.empty() && served == BaseName(other.servedPath);
            const bool sameUpload =
                !job.upload.expectedName.empty() && job.upload.expectedName == other.upload.expectedName;
            if (other.host != job.host || sameServed || sameUpload) {
                TFLOG("job refused: job %d already uses the server for %s.", id, other.servedPath.c_str());
                return -1;
            }
        }
    }
    if (m_context == nullptr && !StartLocked(job.host)) {
        return -1;
    }
    MutexLock lock(m_mutex);
    const int id = m_nextJob++;
    m_jobs[id] = job;
    return id;
}

void WebServer::ReleaseJob(int id)
{
    ReleaseWhere([id](int jobId, const Job &) { return jobId == id; });
}

void WebServer::ReleasePurpose(Purpose purpose)
{
    ReleaseWhere([purpose](int, const Job &job) { return job.purpose == purpose; });
}

void WebServer::Shutdown()
{
    ReleaseWhere([](int, const Job &) { return true; });
    MutexLock life(m_lifeMutex);
    StopLocked();
}

void WebServer::ReleaseWhere(const std::function<bool(int, const Job &)> &match)
{
    MutexLock life(m_lifeMutex);
    bool lastGone = false;
    {
        MutexLock lock(m_mutex);
        bool released = false;
        for (auto it = m_jobs.begin(); it != m_jobs.end();) {
            if (match(it->first, it->second)) {
                it = m_jobs.erase(it);
                released = true;
            } else {
                ++it;
            }
        }
        lastGone = released && m_jobs.empty();
    }
    // The request handlers take m_mutex: the stop, which waits for them, must not hold it.
    if (lastGone) {
        StopLocked();
    }
}

void WebServer::setPort(unsigned short port)
{
    MutexLock life(m_lifeMutex);
    m_port = port;
}

unsigned short WebServer::getPort() const
{
    MutexLock life(m_lifeMutex);
    return m_port;
}

unsigned short WebServer::ListeningPort() const
{
    MutexLock life(m_lifeMutex);
    return m_listeningPort;
}

bool WebServer::isRunning() const
{
    MutexLock life(m_lifeMutex);
    return m_context != nullptr;
}

bool WebServer::StartLocked(const std::string &host)
{
    const std::string listen = host + ":" + std::to_string(m_port);
    const std::string url = "http://" + listen;
    in_addr parsed{};
    if (host.empty() || inet_pton(AF_INET, host.c_str(), &parsed) != 1) {
        TFLOG("Cannot listen on %s. Use http://ADDR:PORT or :PORT", url.c_str());
        return false;
    }
    // Handlers only: no document root, so nothing but the announced files is ever served.
    const char *options[] = {
        "listening_ports",    listen.c_str(), "num_threads", "2", "enable_directory_listing", "no",
        "request_timeout_ms", "10000",        nullptr};
    mg_callbacks callbacks{};
    mg_context *context = mg_start(&callbacks, this, options);
    if (context == nullptr) {
        TFLOG("Cannot listen on %s. Use http://ADDR:PORT or :PORT", url.c_str());
        return false;
    }
    mg_set_request_handler(context, "/upload$", &WebServer::HandleUpload, this);
    mg_set_request_handler(context, "**", &WebServer::HandleFile, this);
    mg_server_port ports[1] = {};
    m_listeningPort =
        mg_get_server_ports(context, 1, ports) == 1 ? static_cast<unsigned short>(ports[0].port) : m_port;
    m_context = context;
    m_host = host;
    TFLOG("web server listening on %s:%u.", host.c_str(), static_cast<unsigned>(m_listeningPort));
    return true;
}

void WebServer::StopLocked()
{
    if (m_context == nullptr) {
        return;
    }
    // CivetWeb's threads notice the stop only when their current wait ends, up to 2 s on the listener or
    // on a client that sends nothing: shutting the server's sockets down first ends those waits at once,
    // and a listener shut down accepts nothing more, so no connection arrives while CivetWeb stops.
    // This is done once, before the stop, so that it never races CivetWeb's own closing of them.
    ServerSockets::ShutdownAll(m_host, m_listeningPort);
    mg_stop(m_context);
    const int leftovers = ServerSockets::CloseLeftovers(m_host, m_listeningPort);
    if (leftovers > 0) {
        TFLOG("web server stop closed %d connection(s) left open.", leftovers);
    }
    m_context = nullptr;
    m_listeningPort = 0;
    TFLOG("web server stopped.");
}

bool WebServer::FindServed(const std::string &name, std::string &path) const
{
    MutexLock lock(m_mutex);
    for (const auto &entry : m_jobs) {
        if (!entry.second.servedPath.empty() && BaseName(entry.second.servedPath) == name) {
            path = entry.second.servedPath;
            return true;
        }
    }
    return false;
}

bool WebServer::FindUpload(const std::string &name, UploadFileParams &params) const
{
    MutexLock lock(m_mutex);
    for (const auto &entry : m_jobs) {
        if (!entry.second.upload.expectedName.empty() && entry.second.upload.expectedName == name) {
            params = entry.second.upload;
            return true;
        }
    }
    return false;
}

int WebServer::HandleFile(mg_connection *conn, void *self)
{
    const mg_request_info *request = mg_get_request_info(conn);
    // The URI as sent (decoded, not cleaned): "/../name" must not reach the file by being cleaned to
    // "/name".
    const char *raw = request->local_uri_raw != nullptr ? request->local_uri_raw : request->local_uri;
    const std::string uri = raw != nullptr ? raw : "";
    std::string path;
    // Only "/<announced name>" exactly: anything else, "..", encoded or not, is not found.
    if (uri.size() < 2 || uri[0] != '/' || uri.find('/', 1) != std::string::npos ||
        !static_cast<WebServer *>(self)->FindServed(uri.substr(1), path)) {
        Reply(conn, 404, "not found");
        TFLOG("%s %s 404", request->request_method, uri.c_str());
        return 404;
    }
    mg_send_file(conn, path.c_str());
    TFLOG("%s %s 200", request->request_method, uri.c_str());
    return 200;
}

int WebServer::HandleUpload(mg_connection *conn, void *self)
{
    const mg_request_info *request = mg_get_request_info(conn);
    UploadRequest upload{QueryVar(request, "name"), QueryVar(request, "offset"),
                         QueryVar(request, "fileDatalength"), QueryVar(request, "checksum")};
    UploadFileParams params;
    if (!static_cast<WebServer *>(self)->FindUpload(upload.name, params)) {
        params.expectedName.clear(); // no job expects it: refused as a wrong name
    }
    const long long declared = request->content_length;
    std::vector<uint8_t> body;
    if (declared >= 0 && static_cast<uint64_t>(declared) <= UploadRules::kMaxChunkBytes) {
        body.resize(static_cast<size_t>(declared));
        size_t got = 0;
        while (got < body.size()) {
            const int n = mg_read(conn, body.data() + got, body.size() - got);
            if (n <= 0) {
                break;
            }
            got += static_cast<size_t>(n);
        }
        body.resize(got);
    } else {
        body.resize(UploadRules::kMaxChunkBytes + 1); // only its size is looked at: refused as too long
    }
    const std::string decidedPath =
        params.saveDir + UploadRules::SavedName(params.expectedName, params.nameTag);
    struct stat st
    {
    };
    const uint64_t current = ::stat(decidedPath.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
    UploadDecision decision = UploadRules::Decide(params, upload, body.size(),
                                                  UploadRules::Checksum(body.data(), body.size()), current);
    if (decision.status == 200) {
        const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (decision.offset == 0 ? O_TRUNC : 0);
        const int fd = ::open(decision.path.c_str(), flags, 0644);
        const ssize_t written =
            fd >= 0 ? ::pwrite(fd, body.data(), body.size(), static_cast<off_t>(decision.offset)) : -1;
        const int error = errno;
        if (fd >= 0) {
            ::close(fd);
        }
        if (fd < 0 || written != static_cast<ssize_t>(body.size())) {
            TFLOG("file:%s open is failed(%d).", decision.path.c_str(), error);
            char text[320];
            std::snprintf(text, sizeof text, "open(%s): %d", decision.path.c_str(), error);
            decision.status = 400;
            decision.body = text;
        } else {
            TFLOG("save upload file:%s.", decision.path.c_str());
        }
    }
    Reply(conn, decision.status, decision.body);
    return decision.status;
}
