// SPDX-License-Identifier: Apache-2.0
// One connected page: its latest-frame slots, its queue of text messages, and the sender thread that
// writes them out, so that a page that reads slowly holds up only its own sender.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "FrameHeader.h"
#include "LatestFrameSlot.h"
#include "PageStats.h"

namespace orvane::cli {

class ViewPage
{
public:
    /// WebSocket opcodes the sender writes with.
    enum class Opcode : int
    {
        kText = 1,
        kBinary = 2,
        kClose = 8,
    };
    /// Writes one whole message to the page; may block while the page reads slowly. False when the
    /// connection is gone.
    using Writer = std::function<bool(Opcode, const uint8_t *, size_t)>;
    using DropsSource = std::function<CameraDrops()>;

    static constexpr size_t kMaxQueuedTexts = 256;
    static constexpr std::chrono::milliseconds kStatsPeriod{1000};

    ViewPage(int id, Writer writer, DropsSource cameraDrops);
    ~ViewPage();
    ViewPage(const ViewPage &) = delete;
    ViewPage &operator=(const ViewPage &) = delete;

    int Id() const { return m_id; }
    /// Starts the sender thread.
    void Start();
    /// Stops and joins the sender; nothing is written afterwards. Waits for a write in progress.
    void Stop();

    /// Whether the page receives this stream (it has not paused it).
    bool Wants(ViewStream stream) const;
    void SetPaused(const std::vector<ViewStream> &streams, bool paused);
    /// Puts a frame in the stream's slot; never waits on the connection.
    void Offer(ViewStream stream, FrameMessage frame);
    /// Queues a text message (dropped, and counted, when the queue is full).
    void SendText(std::string text);
    /// Queues a close frame with `code` behind the messages already queued; nothing is sent after it.
    void SendClose(uint16_t code, const std::string &reason);
    /// True once every queued text has been written (or the connection is gone).
    bool Flushed() const;
    /// Waits up to `limit` for Flushed().
    bool WaitFlushed(std::chrono::milliseconds limit) const;
    /// Frames replaced in each slot before they could be sent.
    PageStats::PerStream Dropped() const;
    /// False once a write failed or a close frame was sent.
    bool Open() const;

private:
    struct Outgoing
    {
        Opcode opcode;
        std::vector<uint8_t> bytes;
    };

    void Run();
    /// Takes the next message to write, texts first, then one frame per stream in turn.
    bool TakeNext(Outgoing &text, FrameMessage &frame, ViewStream &stream);

    const int m_id;
    Writer m_writer;
    DropsSource m_cameraDrops;
    std::thread m_thread;

    mutable std::mutex m_mutex; // guards everything below
    std::condition_variable m_wake;
    std::array<LatestFrameSlot, kViewStreamCount> m_slots;
    std::array<bool, kViewStreamCount> m_paused{};
    std::deque<Outgoing> m_texts;
    size_t m_nextStream = 0;
    bool m_stop = false;
    bool m_open = true;
    bool m_writing = false;
    uint64_t m_textsDropped = 0;
};

} // namespace orvane::cli
