// SPDX-License-Identifier: Apache-2.0
// The viewer's camera side: a thread that reads every set of frames through the public API, stamps
// each with the host's wall clock, turns it into the message pages receive and hands it on.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "FrameHeader.h"
#include "JpegEncoder.h"
#include "LatestFrameSlot.h"
#include "Orvane_api.h"
#include "PageStats.h"
#include "ViewHello.h"

namespace orvane::cli {

class CliOutput;

/// Where the frames go (the server); called on the frame thread, which must never wait on a page.
class FrameSink
{
public:
    virtual ~FrameSink() = default;
    /// Whether some page receives this stream now (colour is compressed only then).
    virtual bool Wants(ViewStream stream) = 0;
    virtual void Publish(ViewStream stream, FrameMessage frame) = 0;
    /// A frame arrived at a size not seen before.
    virtual void SizesChanged(const ImageSizes &sizes) = 0;
};

class FrameSource
{
public:
    FrameSource(TfDeviceHandle device, FrameSink &sink, CliOutput &out, const ImageSizes &sizes);
    ~FrameSource();
    FrameSource(const FrameSource &) = delete;
    FrameSource &operator=(const FrameSource &) = delete;

    void Start();
    void Stop();
    /// The library's drop counters, summed over reasons, as last read (once a second).
    CameraDrops Drops() const { return {m_tofDropped.load(), m_colorDropped.load()}; }

    /// The message of a raw frame (depth, IR, confidence): null, with `error`, when its data do not
    /// hold width x height pixels of its format. Library-free: the unit tests and the fuzzer call it.
    static FrameMessage RawMessage(ViewStream stream, const TfFrame &frame, uint64_t hostTimeUs,
                                   std::string &error);

private:
    void Run();
    void Handle(const TfFrame &frame, uint64_t hostTimeUs, ImageSizes &sizes);
    FrameMessage ColorMessage(const TfFrame &frame, uint64_t hostTimeUs, std::string &error);
    void ReadDrops();
    /// One line for the first refused frame and every 1000th after it.
    void Refused(const std::string &error);

    TfDeviceHandle m_device;
    FrameSink &m_sink;
    CliOutput &m_out;
    ImageSizes m_sizes; // frame thread only
    JpegEncoder m_jpeg; // frame thread only
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<uint64_t> m_tofDropped{0};
    std::atomic<uint64_t> m_colorDropped{0};
    uint64_t m_refused = 0;
};

} // namespace orvane::cli
