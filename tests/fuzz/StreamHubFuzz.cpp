// SPDX-License-Identifier: Apache-2.0
// Fuzz target for the stream hub: the input describes the buffers a camera session reads, which the hub's
// own thread splits into sub-packets; every raw frame it hands on is checked against the buffer it came
// from.
#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

#include "KeptFrame.h"
#include "pipeline/StreamHub.h"
#include "pipeline/StreamLayout.h"
#include "runtime/ByteReader.h"

using namespace StreamLayout;

namespace {

/// A part of a buffer: literal bytes of the input, or (literal null) a sub-packet header followed by
/// generated payload.
struct Piece
{
    const uint8_t *literal = nullptr;
    size_t literalBytes = 0;
    uint8_t header[kHeaderBytes] = {};
    uint8_t fill = 0;
    size_t fillBytes = 0;
};

/// What one read of the session yields.
struct Read
{
    enum Kind
    {
        Buffer,   ///< the pieces below, reported at their size
        Failed,   ///< the read fails
        Empty,    ///< the read claims success with no bytes
        Oversize, ///< the read claims more bytes than the hub's buffer holds
    } kind = Buffer;
    std::vector<Piece> pieces;
    size_t bytes = 0;
};

/// Turns the input into reads. Byte 0 (read by the caller) holds switches: bits 0-5 turn a stream kind
/// off, bit 6 the frame state, bit 7 makes the application slow. Then each operation starts with a byte
/// whose low two bits pick it:
///   0 literal bytes: u16 count, then the bytes, appended to the buffer being built;
///   1 a generated sub-packet: type, u24 announced length, spare byte, fill byte, signed byte added to
///     the announced length to give the payload bytes actually appended (so lengths may lie);
///   2 ends the buffer being built; 3 an odd read (failed, empty or oversize, by the next byte).
/// Large blocks are generated rather than carried, so the fuzzer reaches every block size cheaply.
std::deque<Read> ParseReads(const uint8_t *data, ByteReader &in)
{
    std::deque<Read> reads;
    Read current;
    bool oddOnce = false; // a failed read costs the hub a 10 ms back-off: one per input
    auto finish = [&]() {
        if (current.bytes != 0) {
            reads.push_back(std::move(current));
            current = Read{};
        }
    };
    // A short read leaves the reader failed for good: the input ends there.
    while (in.Remaining() > 0 && in.Ok()) {
        const uint8_t op = in.ReadU8();
        const size_t room = StreamHub::kReceiveBufferBytes - current.bytes;
        Piece piece;
        switch (op & 3) {
        case 0:
            piece.literalBytes = std::min<size_t>(std::min<size_t>(in.ReadU16Le(), in.Remaining()), room);
            piece.literal = data + in.Position();
            in.Skip(piece.literalBytes);
            break;
        case 1: {
            in.ReadBytes(piece.header, kHeaderBytes);
            piece.fill = in.ReadU8();
            const uint32_t announced = ByteReader(piece.header + 1, 3).ReadU24Le();
            const int64_t actual = int64_t(announced) + static_cast<int8_t>(in.ReadU8());
            piece.literalBytes = std::min<size_t>(kHeaderBytes, room); // taken from the header
            piece.fillBytes = std::min<size_t>(actual < 0 ? 0 : size_t(actual), room - piece.literalBytes);
            break;
        }
        case 2:
            finish();
            continue;
        default: {
            const uint8_t kind = in.ReadU8() % 3;
            if (oddOnce) {
                continue;
            }
            oddOnce = true;
            finish();
            Read odd;
            odd.kind = kind == 0 ? Read::Failed : kind == 1 ? Read::Empty : Read::Oversize;
            reads.push_back(std::move(odd));
            continue;
        }
        }
        current.bytes += piece.literalBytes + piece.fillBytes;
        current.pieces.push_back(piece);
    }
    finish();
    return reads;
}

/// The session: hands the reads to the hub one by one, and between two reads (on the hub's thread, so
/// in step with it) takes the raw frames the hub committed and checks them against the buffer read
/// before. Once the reads are used up, it waits until the test lets the hub stop.
class FuzzSource : public StreamSource
{
public:
    /// Arms the source with the reads of one input.
    void Begin(StreamHub *hub, std::deque<Read> reads, size_t holdTof)
    {
        m_hub = hub;
        m_holdTof = holdTof;
        m_reads = std::move(reads);
        m_last.clear();
        given = Given{};
        m_atEnd = m_released = false;
    }
    bool HasProtocol() const override { return true; }
    bool ReadData(uint8_t *buffer, uint32_t capacity, uint32_t &length) override;
    DeviceStatus *GetDeviceStatus() override { return &m_status; }
    bool IsDeviceStatusRequested() const override { return m_requested; }
    void SetDeviceStatusRequested(bool on) override { m_requested = on; }
    bool IsDeviceStatusFollowed() const override { return m_followed; }
    void SetDeviceStatusFollowed(bool on) override { m_followed = on; }
    void StoreInitCameraParams(const InitCameraParams &) override { ++given.calibrations; }
    int SendCameraParamsEnable(bool) override { return 0; }

    /// Waits until every read was made and the last buffer parsed.
    void AwaitEnd()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cond.wait(lock, [this] { return m_atEnd; });
    }
    /// Lets the last read return.
    void Release()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_released = true;
        m_cond.notify_all();
    }
    /// Checks and gives back the frames still held or queued.
    void Finish()
    {
        TakeFrames();
        for (KeptFrame &held : m_heldTof) {
            Recycle(held, true);
        }
        Recycle(m_heldColor, false);
    }

    /// What the source handed the hub in the current input.
    struct Given
    {
        uint64_t buffers = 0;
        uint64_t failed = 0; ///< failed, empty and oversize reads
        int calibrations = 0;
    } given;

private:
    void TakeFrames()
    {
        Frame *frame = nullptr;
        // The queues never wait here: the test set their wait time to 0.
        while (m_hub->GetTofRawData(&frame) == 0) {
            CheckTof(*frame);
            KeptFrame &held = m_heldTof[m_nextTof++ % m_holdTof];
            Recycle(held, true);
            held.Keep(frame);
        }
        while (m_hub->GetRGBRawData(&frame) == 0) {
            CheckColor(*frame);
            Recycle(m_heldColor, false);
            m_heldColor.Keep(frame);
        }
    }
    /// Nothing the hub did since the frame was handed over may have touched it.
    void Recycle(KeptFrame &held, bool tof)
    {
        if (held.frame != nullptr) {
            held.RequireUntouched();
            tof ? m_hub->RecycleRawTofFrame(held.frame) : m_hub->RecycleRawColorFrame(held.frame);
            held.frame = nullptr;
        }
    }
    void CheckTof(const Frame &frame);
    void CheckColor(const Frame &frame) const;
    bool InLastBuffer(const uint8_t *bytes, size_t count) const
    {
        // Candidates by the block's first bytes, then the whole block: a search for a whole block of
        // megabytes would cost more than the rest of the input.
        const size_t probe = std::min<size_t>(count, 64);
        const uint8_t *end = m_last.data() + m_last.size();
        for (const uint8_t *at = m_last.data(); static_cast<size_t>(end - at) >= count; ++at) {
            at = static_cast<const uint8_t *>(memmem(at, static_cast<size_t>(end - at), bytes, probe));
            if (at == nullptr || static_cast<size_t>(end - at) < count) {
                return false;
            }
            if (std::memcmp(at, bytes, count) == 0) {
                return true;
            }
        }
        return false;
    }

    std::deque<Read> m_reads;
    std::vector<uint8_t> m_last; // the buffer handed out by the previous read
    StreamHub *m_hub = nullptr;
    DeviceStatus m_status{};
    bool m_requested = true;
    bool m_followed = true;
    uint32_t m_lastIndex = 0;
    // A slow application keeps several frames at once, so that the hub may find its pool empty.
    std::array<KeptFrame, StreamHub::kRawPoolFrames> m_heldTof;
    size_t m_holdTof = 1;
    size_t m_nextTof = 0;
    KeptFrame m_heldColor;
    std::mutex m_mutex;
    std::condition_variable m_cond;
    bool m_atEnd = false;
    bool m_released = false;
};

bool FuzzSource::ReadData(uint8_t *buffer, uint32_t capacity, uint32_t &length)
{
    TakeFrames();
    if (m_reads.empty()) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_atEnd = true;
        m_cond.notify_all();
        m_cond.wait(lock, [this] { return m_released; });
        return false;
    }
    Read read = std::move(m_reads.front());
    m_reads.pop_front();
    m_last.clear();
    if (read.kind != Read::Buffer) {
        ++given.failed;
        length = read.kind == Read::Empty ? 0 : capacity + 1;
        return read.kind != Read::Failed;
    }
    Require(read.bytes <= capacity);
    // Built into the kept buffer, whose pages stay mapped from buffer to buffer.
    for (const Piece &piece : read.pieces) {
        const uint8_t *bytes = piece.literal != nullptr ? piece.literal : piece.header;
        m_last.insert(m_last.end(), bytes, bytes + piece.literalBytes);
        m_last.resize(m_last.size() + piece.fillBytes, piece.fill);
    }
    std::memcpy(buffer, m_last.data(), m_last.size());
    length = static_cast<uint32_t>(m_last.size());
    ++given.buffers;
    return true;
}

/// A committed ToF frame is one or more whole ToF blocks of their exact sizes, each found in the buffer.
void FuzzSource::CheckTof(const Frame &frame)
{
    Require(frame.dataLen > 0 && frame.dataLen <= frame.bufferSize);
    Require(frame.frameIndex >= StreamHub::kFirstCommittedFrame && frame.frameIndex > m_lastIndex);
    m_lastIndex = frame.frameIndex;
    Require((frame.hasFrameMask & (kHasDepth | kHasIr | kHasConfidence)) != 0);
    for (uint32_t at = 0, length = 0; at < frame.dataLen; at += length + kHeaderBytes) {
        Require(frame.dataLen - at >= kHeaderBytes);
        const uint8_t *block = frame.pFrameData + at;
        const uint8_t type = block[0];
        length = ByteReader(block + 1, 3).ReadU24Le();
        Require(length == (type == kTypeTofRaw || type == kTypeTofWdr ? kTofRawBytes
                           : type == kTypeTofComputed                 ? kTofComputedBytes
                                                                      : kTofImageBytes));
        Require(type == kTypeTofRaw || type == kTypeTofWdr || type == kTypeTofComputed ||
                type == kTypeTofDepth || type == kTypeTofIr || type == kTypeTofConfidence);
        Require(length + kHeaderBytes <= frame.dataLen - at && InLastBuffer(block, length + kHeaderBytes));
    }
}

/// A committed colour frame is one whole colour sub-packet of the buffer.
void FuzzSource::CheckColor(const Frame &frame) const
{
    Require(frame.dataLen >= kHeaderBytes && frame.dataLen <= frame.bufferSize);
    Require(frame.pFrameData[0] == kTypeColorYuv || IsCompressedColor(frame.pFrameData[0]));
    Require(ByteReader(frame.pFrameData + 1, 3).ReadU24Le() + kHeaderBytes == frame.dataLen);
    Require(InLastBuffer(frame.pFrameData, frame.dataLen));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // One hub for the whole run, as a session keeps its hub across stream restarts: building one costs
    // tens of megabytes of zeroed frames, far more than a short input.
    static FuzzSource source;
    static StreamHub hub(&source);
    ByteReader in(data, size);
    const uint8_t switches = in.ReadU8();
    source.Begin(&hub, ParseReads(data, in), (switches & 0x80) != 0 ? StreamHub::kRawPoolFrames : 1);
    hub.SetWaitTime(0);
    for (uint32_t type = kStreamDepth; type <= kStreamConfidence; ++type) {
        hub.SetStreamEnable(static_cast<StreamType>(type), (switches >> type & 1) == 0);
    }
    hub.SetFrameState((switches & 0x40) == 0);
    const HubCounters before = hub.GetCounters();
    hub.Start();
    source.AwaitEnd();
    hub.Stop();
    source.Release();
    hub.Join();
    source.Finish();

    // Every read is accounted for: a buffer is parsed (or dropped for want of a frame), anything else
    // counts as a failed read; the hub's own last read, made after the input ran out, fails too.
    const HubCounters after = hub.GetCounters();
    Require(after.buffersRead - before.buffersRead == source.given.buffers);
    Require(after.buffersParsed + after.droppedNoFrame - before.buffersParsed - before.droppedNoFrame ==
            source.given.buffers);
    Require(after.failedReads - before.failedReads == source.given.failed + 1);
    Require(after.malformedBuffers - before.malformedBuffers <= source.given.buffers);
    Require(source.given.calibrations <= 1);
    return 0;
}
