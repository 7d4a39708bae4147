// SPDX-License-Identifier: Apache-2.0
// One connected page: its latest-frame slots, its queue of text messages, and the sender thread that
// writes them out, so that a page that reads slowly holds up only its own sender.
#include "ViewPage.h"

#include <algorithm>
#include <utility>

namespace orvane::cli {

ViewPage::ViewPage(int id, Writer writer, DropsSource cameraDrops)
    : m_id(id), m_writer(std::move(writer)), m_cameraDrops(std::move(cameraDrops))
{
}

ViewPage::~ViewPage()
{
    Stop();
}

void ViewPage::Start()
{
    m_thread = std::thread([this] { Run(); });
}

void ViewPage::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

bool ViewPage::Wants(ViewStream stream) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_open && !m_paused[static_cast<size_t>(stream)];
}

void ViewPage::SetPaused(const std::vector<ViewStream> &streams, bool paused)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const ViewStream stream : streams) {
        m_paused[static_cast<size_t>(stream)] = paused;
        if (paused) {
            m_slots[static_cast<size_t>(stream)].Take(); // not a drop: the page asked for none
        }
    }
}

void ViewPage::Offer(ViewStream stream, FrameMessage frame)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto index = static_cast<size_t>(stream);
        if (!m_open || m_paused[index]) {
            return;
        }
        m_slots[index].Offer(std::move(frame));
    }
    m_wake.notify_one();
}

void ViewPage::SendText(std::string text)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_open) {
            return;
        }
        if (m_texts.size() >= kMaxQueuedTexts) {
            ++m_textsDropped;
            return;
        }
        m_texts.push_back({Opcode::kText, std::vector<uint8_t>(text.begin(), text.end())});
    }
    m_wake.notify_one();
}

void ViewPage::SendClose(uint16_t code, const std::string &reason)
{
    std::vector<uint8_t> payload = {static_cast<uint8_t>(code >> 8), static_cast<uint8_t>(code & 0xFF)};
    payload.insert(payload.end(), reason.begin(), reason.begin() + std::min<size_t>(reason.size(), 120));
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_open) {
            return;
        }
        m_texts.push_back({Opcode::kClose, std::move(payload)});
    }
    m_wake.notify_one();
}

bool ViewPage::Flushed() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_open || (m_texts.empty() && !m_writing);
}

bool ViewPage::WaitFlushed(std::chrono::milliseconds limit) const
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!Flushed()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

PageStats::PerStream ViewPage::Dropped() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    PageStats::PerStream dropped{};
    for (size_t i = 0; i < kViewStreamCount; ++i) {
        dropped[i] = m_slots[i].Dropped();
    }
    return dropped;
}

bool ViewPage::Open() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_open;
}

bool ViewPage::TakeNext(Outgoing &text, FrameMessage &frame, ViewStream &stream)
{
    if (!m_texts.empty()) {
        text = std::move(m_texts.front());
        m_texts.pop_front();
        return true;
    }
    for (size_t turn = 0; turn < kViewStreamCount; ++turn) {
        const size_t index = (m_nextStream + turn) % kViewStreamCount;
        if (m_slots[index].Full()) {
            frame = m_slots[index].Take();
            stream = static_cast<ViewStream>(index);
            m_nextStream = (index + 1) % kViewStreamCount;
            return true;
        }
    }
    return false;
}

void ViewPage::Run()
{
    using Clock = PageStats::Clock;
    PageStats stats(Clock::now());
    Clock::time_point nextStats = Clock::now() + kStatsPeriod;
    for (;;) {
        Outgoing text{Opcode::kText, {}};
        FrameMessage frame;
        ViewStream stream = ViewStream::kDepth;
        bool statsDue = false;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait_until(lock, nextStats, [&] {
                return m_stop || !m_open || !m_texts.empty() ||
                       std::any_of(m_slots.begin(), m_slots.end(), [](const auto &s) { return s.Full(); });
            });
            if (m_stop || !m_open) {
                return;
            }
            statsDue = Clock::now() >= nextStats;
            if (!statsDue && !TakeNext(text, frame, stream)) {
                continue;
            }
            m_writing = true;
        }
        bool written = true;
        if (statsDue) {
            nextStats = Clock::now() + kStatsPeriod;
            const std::string report = stats.Report(Clock::now(), Dropped(), m_cameraDrops()).dump();
            written =
                m_writer(Opcode::kText, reinterpret_cast<const uint8_t *>(report.data()), report.size());
        } else if (frame != nullptr) {
            written = m_writer(Opcode::kBinary, frame->data(), frame->size());
            stats.CountSent(stream);
        } else {
            written = m_writer(text.opcode, text.bytes.data(), text.bytes.size());
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_writing = false;
        if (!written || text.opcode == Opcode::kClose) {
            m_open = false; // the connection is gone, or closing: nothing more to write
        }
    }
}

} // namespace orvane::cli
