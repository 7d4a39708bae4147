// SPDX-License-Identifier: Apache-2.0
// The viewer's HTTP and WebSocket server on CivetWeb: serves the embedded page, checks each WebSocket
// handshake, keeps one ViewPage per connection and hands every frame to the pages that want it.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

#include "ControlMessage.h"
#include "FrameSource.h"
#include "ViewPage.h"

struct mg_connection;
struct mg_context;

namespace orvane::cli {

class CliOutput;

struct ViewOptions
{
    std::string bind = "127.0.0.1";
    int port = 8090; // 0: any free port (Port() tells which)
    bool allowControl = false;
};

/// What the server asks of the camera side; each is called on a CivetWeb thread.
struct ViewCamera
{
    std::function<nlohmann::json()> hello;                        // the hello message
    std::function<nlohmann::json(const ImageSizes &)> intrinsics; // the intrinsics message for these sizes
    /// Applies a checked set request; an empty string, or why the camera refused it.
    std::function<std::string(const ControlRequest &)> set;
    std::function<CameraDrops()> drops;
};

class ViewServer : public FrameSink
{
public:
    static constexpr size_t kMaxPages = 8;
    static constexpr const char *kPath = "/ws";

    ViewServer(ViewOptions options, CliOutput &out, ViewCamera camera, const ImageSizes &sizes);
    ~ViewServer() override;
    ViewServer(const ViewServer &) = delete;
    ViewServer &operator=(const ViewServer &) = delete;

    /// Starts listening; false with `error` (the address is taken, say).
    bool Start(std::string &error);
    /// Closes every page's WebSocket (going away), then stops the server.
    void Stop();
    int Port() const { return m_port; }
    std::string Url() const;

    /// Queues a text message to every page.
    void Broadcast(const nlohmann::json &message);
    /// Waits up to `limit` until every page has written its queued texts.
    bool WaitFlushed(std::chrono::milliseconds limit) const;
    size_t PageCount() const;

    bool Wants(ViewStream stream) override;
    void Publish(ViewStream stream, FrameMessage frame) override;
    void SizesChanged(const ImageSizes &sizes) override;

private:
    /// One WebSocket: its page and the text message being reassembled from fragments.
    struct Connection
    {
        std::shared_ptr<ViewPage> page;
        std::string partial;
    };

    static int OnBeginRequest(mg_connection *conn);
    static int OnLog(const mg_connection *conn, const char *message);
    static int OnHttp(mg_connection *conn, void *self);
    static int OnConnect(const mg_connection *conn, void *self);
    static void OnReady(mg_connection *conn, void *self);
    static int OnData(mg_connection *conn, int bits, char *data, size_t length, void *self);
    static void OnClose(const mg_connection *conn, void *self);

    /// Refuses a handshake with a foreign Origin (403) or when the pages are full (503); true if it did.
    bool RefuseHandshake(mg_connection *conn);
    /// Answers one whole text message; false when the connection must close.
    bool Answer(Connection &connection, const std::string &text);
    Connection *Find(const mg_connection *conn);

    ViewOptions m_options;
    CliOutput &m_out;
    ViewCamera m_camera;
    mg_context *m_context = nullptr;
    int m_port = 0;
    std::string m_startError;

    mutable std::mutex m_mutex; // guards the members below; taken before any page's own mutex
    std::map<const mg_connection *, Connection> m_connections;
    nlohmann::json m_intrinsics;
    ImageSizes m_sizes;
    int m_nextPageId = 1;
    std::mutex m_setMutex; // one setting applied at a time, whichever page asks
};

} // namespace orvane::cli
