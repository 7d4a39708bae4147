// SPDX-License-Identifier: Apache-2.0
// The viewer's HTTP and WebSocket server on CivetWeb: serves the embedded page, checks each WebSocket
// handshake, keeps one ViewPage per connection and hands every frame to the pages that want it.
#include "ViewServer.h"

#include <civetweb.h>

#include <cstring>
#include <thread>
#include <vector>

#include "CliOutput.h"
#include "OriginCheck.h"
#include "ViewAssets.h"

namespace orvane::cli {
namespace {

constexpr const char *kCommonHeaders =
    "Cache-Control: no-store\r\n"
    "X-Content-Type-Options: nosniff\r\n"
    "Content-Security-Policy: default-src 'self'; connect-src 'self'; img-src 'self' blob: data:; "
    "style-src 'self'; script-src 'self'\r\n"
    "Connection: close\r\n";

void Respond(mg_connection *conn, int status, const char *reason, const char *type, const void *body,
             size_t size, bool withBody)
{
    mg_printf(conn, "HTTP/1.1 %d %s\r\nContent-Type: %s\r\nContent-Length: %zu\r\n%s\r\n", status, reason,
              type, size, kCommonHeaders);
    if (withBody && size != 0) {
        mg_write(conn, body, size);
    }
}

void RespondText(mg_connection *conn, int status, const char *reason, const std::string &text)
{
    Respond(conn, status, reason, "text/plain; charset=utf-8", text.data(), text.size(), true);
}

std::string Dump(const nlohmann::json &message)
{
    return message.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace

ViewServer::ViewServer(ViewOptions options, CliOutput &out, ViewCamera camera, const ImageSizes &sizes)
    : m_options(std::move(options)), m_out(out), m_camera(std::move(camera)), m_sizes(sizes)
{
    m_intrinsics = m_camera.intrinsics(sizes);
}

ViewServer::~ViewServer()
{
    Stop();
}

bool ViewServer::Start(std::string &error)
{
    mg_init_library(MG_FEATURES_WEBSOCKET);
    const std::string ports = m_options.bind + ":" + std::to_string(m_options.port);
    const char *config[] = {"listening_ports",
                            ports.c_str(),
                            "num_threads",
                            "16",
                            "request_timeout_ms",
                            "10000",
                            "websocket_timeout_ms",
                            "5000",
                            "enable_websocket_ping_pong",
                            "yes",
                            nullptr};
    mg_callbacks callbacks{};
    callbacks.begin_request = &ViewServer::OnBeginRequest;
    callbacks.log_message = &ViewServer::OnLog;
    m_context = mg_start(&callbacks, this, config);
    if (m_context == nullptr) {
        error = "cannot listen on " + ports + (m_startError.empty() ? "" : ": " + m_startError);
        mg_exit_library();
        return false;
    }
    mg_server_port listening[4] = {};
    if (mg_get_server_ports(m_context, 4, listening) > 0) {
        m_port = listening[0].port;
    }
    mg_set_request_handler(m_context, "/", &ViewServer::OnHttp, this);
    mg_set_websocket_handler(m_context, kPath, &ViewServer::OnConnect, &ViewServer::OnReady,
                             &ViewServer::OnData, &ViewServer::OnClose, this);
    return true;
}

void ViewServer::Stop()
{
    if (m_context == nullptr) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto &entry : m_connections) {
            entry.second.page->SendClose(1001, "the viewer stopped");
        }
    }
    WaitFlushed(std::chrono::milliseconds(1000));
    mg_stop(m_context); // the close handlers stop every page's sender
    m_context = nullptr;
    std::map<const mg_connection *, Connection> left;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        left.swap(m_connections);
    }
    left.clear();
    mg_exit_library();
}

std::string ViewServer::Url() const
{
    return "http://" + m_options.bind + ":" + std::to_string(m_port) + "/";
}

void ViewServer::Broadcast(const nlohmann::json &message)
{
    const std::string text = Dump(message);
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto &entry : m_connections) {
        entry.second.page->SendText(text);
    }
}

bool ViewServer::WaitFlushed(std::chrono::milliseconds limit) const
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        bool flushed = true;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            for (const auto &entry : m_connections) {
                flushed = flushed && entry.second.page->Flushed();
            }
        }
        if (flushed) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

size_t ViewServer::PageCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_connections.size();
}

bool ViewServer::Wants(ViewStream stream)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const auto &entry : m_connections) {
        if (entry.second.page->Wants(stream)) {
            return true;
        }
    }
    return false;
}

void ViewServer::Publish(ViewStream stream, FrameMessage frame)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto &entry : m_connections) {
        entry.second.page->Offer(stream, frame);
    }
}

void ViewServer::SizesChanged(const ImageSizes &sizes)
{
    const nlohmann::json intrinsics = m_camera.intrinsics(sizes);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_sizes = sizes;
        m_intrinsics = intrinsics;
    }
    Broadcast(intrinsics);
}

int ViewServer::OnLog(const mg_connection *conn, const char *message)
{
    if (conn == nullptr) {
        return 0;
    }
    auto *self = static_cast<ViewServer *>(mg_get_user_data(mg_get_context(conn)));
    if (self != nullptr && message != nullptr) {
        if (self->m_context == nullptr) {
            self->m_startError = message;
        }
        self->m_out.Verbose(1, std::string("viewer: ") + message);
    }
    return 1;
}

int ViewServer::OnBeginRequest(mg_connection *conn)
{
    const mg_request_info *request = mg_get_request_info(conn);
    auto *self = static_cast<ViewServer *>(request->user_data);
    if (self == nullptr || request->local_uri == nullptr || std::strcmp(request->local_uri, kPath) != 0) {
        return 0;
    }
    return self->RefuseHandshake(conn) ? 1 : 0;
}

bool ViewServer::RefuseHandshake(mg_connection *conn)
{
    const mg_request_info *request = mg_get_request_info(conn);
    const char *origin = mg_get_header(conn, "Origin");
    const char *host = mg_get_header(conn, "Host");
    if (!OriginCheck::Allows(origin, host)) {
        // Both headers come from the network: quoted, and cut short, in the log line.
        const auto shown = [](const char *text) { return '"' + std::string(text).substr(0, 80) + '"'; };
        m_out.Message(std::string("viewer: refused a WebSocket from ") + request->remote_addr + ": Origin " +
                      shown(origin) + " is not this server (Host " +
                      (host != nullptr ? shown(host) : "missing") + ")");
        RespondText(conn, 403, "Forbidden", "foreign Origin\n");
        return true;
    }
    if (PageCount() >= kMaxPages) {
        m_out.Message(std::string("viewer: refused a WebSocket from ") + request->remote_addr + ": already " +
                      std::to_string(kMaxPages) + " pages");
        RespondText(conn, 503, "Service Unavailable", "too many pages\n");
        return true;
    }
    return false;
}

int ViewServer::OnHttp(mg_connection *conn, void *self)
{
    (void)self;
    const mg_request_info *request = mg_get_request_info(conn);
    const bool head = std::strcmp(request->request_method, "HEAD") == 0;
    if (!head && std::strcmp(request->request_method, "GET") != 0) {
        RespondText(conn, 405, "Method Not Allowed", "only GET and HEAD\n");
        return 405;
    }
    const EmbeddedAsset *asset = ViewAssets::Find(request->local_uri != nullptr ? request->local_uri : "");
    if (asset == nullptr) {
        const std::string text = "not found\n";
        Respond(conn, 404, "Not Found", "text/plain; charset=utf-8", text.data(), text.size(), !head);
        return 404;
    }
    Respond(conn, 200, "OK", ViewAssets::TypeOf(asset->name), asset->bytes, asset->size, !head);
    return 200;
}

int ViewServer::OnConnect(const mg_connection *conn, void *selfData)
{
    auto *self = static_cast<ViewServer *>(selfData);
    auto *writable = const_cast<mg_connection *>(conn); // CivetWeb hands the handshake's handler a const
    std::lock_guard<std::mutex> lock(self->m_mutex);
    if (self->m_connections.size() >= kMaxPages) {
        return 1; // two handshakes raced for the last place: this one is closed
    }
    const int id = self->m_nextPageId++;
    auto writer = [writable](ViewPage::Opcode opcode, const uint8_t *data, size_t size) {
        const int written = mg_websocket_write(writable, static_cast<int>(opcode),
                                               reinterpret_cast<const char *>(data), size);
        return written > 0;
    };
    Connection connection;
    connection.page = std::make_shared<ViewPage>(id, writer, self->m_camera.drops);
    self->m_connections.emplace(conn, std::move(connection));
    return 0;
}

void ViewServer::OnReady(mg_connection *conn, void *selfData)
{
    auto *self = static_cast<ViewServer *>(selfData);
    const std::string hello = Dump(self->m_camera.hello());
    std::lock_guard<std::mutex> lock(self->m_mutex);
    Connection *connection = self->Find(conn);
    if (connection == nullptr) {
        return;
    }
    connection->page->SendText(hello);
    connection->page->SendText(Dump(self->m_intrinsics));
    connection->page->Start();
    self->m_out.Verbose(1, "viewer: page " + std::to_string(connection->page->Id()) + " connected from " +
                               mg_get_request_info(conn)->remote_addr);
}

ViewServer::Connection *ViewServer::Find(const mg_connection *conn)
{
    const auto found = m_connections.find(conn);
    return found != m_connections.end() ? &found->second : nullptr;
}

int ViewServer::OnData(mg_connection *conn, int bits, char *data, size_t length, void *selfData)
{
    auto *self = static_cast<ViewServer *>(selfData);
    const int opcode = bits & 0x0F;
    const bool final = (bits & 0x80) != 0;
    if (opcode == MG_WEBSOCKET_OPCODE_CONNECTION_CLOSE) {
        return 0;
    }
    if (opcode != MG_WEBSOCKET_OPCODE_TEXT && opcode != MG_WEBSOCKET_OPCODE_CONTINUATION &&
        opcode != MG_WEBSOCKET_OPCODE_BINARY) {
        return 1; // ping and pong
    }
    Connection *connection = nullptr;
    {
        std::lock_guard<std::mutex> lock(self->m_mutex);
        connection = self->Find(conn); // stays valid: only this connection's close handler removes it
    }
    if (connection == nullptr) {
        return 0;
    }
    std::string &partial = connection->partial;
    if (opcode != MG_WEBSOCKET_OPCODE_CONTINUATION) {
        partial.clear();
    }
    // Beyond the bound the rest is not kept: one byte over is enough for the parser to refuse it.
    const size_t room =
        ControlMessage::kMaxBytes + 1 - std::min(partial.size(), ControlMessage::kMaxBytes + 1);
    partial.append(data, std::min(length, room));
    if (!final && partial.size() <= ControlMessage::kMaxBytes) {
        return 1;
    }
    if (opcode == MG_WEBSOCKET_OPCODE_BINARY) {
        connection->page->SendText(
            Dump({{"type", "error"}, {"message", "control messages are text (JSON)"}}));
        return 1;
    }
    const std::string text = std::move(partial);
    partial.clear();
    return self->Answer(*connection, text) ? 1 : 0;
}

bool ViewServer::Answer(Connection &connection, const std::string &text)
{
    ViewPage &page = *connection.page;
    const ControlVerdict verdict = ControlMessage::Parse(text, m_options.allowControl);
    const std::string who = "viewer: page " + std::to_string(page.Id());
    if (verdict.closeConnection) {
        m_out.Message(who + ": control message over " + std::to_string(ControlMessage::kMaxBytes) +
                      " bytes: connection closed");
        const std::string error = Dump({{"type", "error"}, {"message", verdict.error}});
        page.SendText(error);
        page.SendClose(1009, "message too big");
        page.WaitFlushed(std::chrono::milliseconds(1000));
        return false;
    }
    const nlohmann::json id = verdict.id ? nlohmann::json(*verdict.id) : nlohmann::json(nullptr);
    if (!verdict.request) {
        m_out.Message(who + ": refused a control message: " + verdict.error);
        page.SendText(
            Dump(verdict.answerWithAck
                     ? nlohmann::json{{"type", "ack"}, {"id", id}, {"ok", false}, {"error", verdict.error}}
                     : nlohmann::json{{"type", "error"}, {"message", verdict.error}}));
        return true;
    }
    const ControlRequest &request = *verdict.request;
    std::string error;
    if (request.type == ControlRequest::Type::kSet) {
        std::lock_guard<std::mutex> lock(m_setMutex);
        error = m_camera.set(request);
        m_out.Message(who + ": set " + request.row->name + " " + request.value.dump() +
                      (error.empty() ? "" : ": " + error));
        if (error.empty()) {
            // Every page learns the new values (and a new measuring range) before the asking page's ack.
            Broadcast(m_camera.hello());
        }
    } else {
        page.SetPaused(request.streams, request.type == ControlRequest::Type::kPause);
    }
    page.SendText(Dump(error.empty()
                           ? nlohmann::json{{"type", "ack"}, {"id", id}, {"ok", true}}
                           : nlohmann::json{{"type", "ack"}, {"id", id}, {"ok", false}, {"error", error}}));
    return true;
}

void ViewServer::OnClose(const mg_connection *conn, void *selfData)
{
    auto *self = static_cast<ViewServer *>(selfData);
    std::shared_ptr<ViewPage> page;
    {
        std::lock_guard<std::mutex> lock(self->m_mutex);
        const auto found = self->m_connections.find(conn);
        if (found == self->m_connections.end()) {
            return;
        }
        page = found->second.page;
        self->m_connections.erase(found);
    }
    page->Stop(); // outside the lock: a write in progress may take until the send time-out
    self->m_out.Verbose(1, "viewer: page " + std::to_string(page->Id()) + " closed");
}

} // namespace orvane::cli
