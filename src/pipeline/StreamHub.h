// SPDX-License-Identifier: Apache-2.0
// StreamHub: the receive thread of a camera session, which splits each stream buffer into its sub-packets,
// hands raw ToF and colour frames on to the decoders, and keeps the status record and calibration block
// the camera embeds.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "pipeline/DeviceStatus.h"
#include "pipeline/DropCounters.h"
#include "pipeline/DropCountersLog.h"
#include "pipeline/Frame.h"
#include "pipeline/FrameQueue.h"
#include "pipeline/RawRecorder.h"
#include "pipeline/StreamSource.h"
#include "runtime/StoppableThread.h"

/// Counters of the hub, for statistics and tests. Every count is since the hub was built, except
/// consecutiveFailedReads, which a successful read resets.
struct HubCounters
{
    uint64_t buffersRead = 0; ///< buffers handed to ProcessData by the thread
    uint64_t failedReads = 0; ///< reads that failed or yielded no buffer
    uint32_t consecutiveFailedReads = 0;
    uint64_t buffersParsed = 0;    ///< buffers given to ProcessData that reached the commit
    uint64_t malformedBuffers = 0; ///< buffers whose parsing stopped at a bad sub-packet
    uint64_t rejectedBlocks = 0;   ///< image sub-packets that did not fit their raw frame
    uint64_t committedTof = 0;     ///< raw ToF frames pushed
    uint64_t committedColor = 0;   ///< raw colour frames pushed
    uint64_t discardedBuffers = 0; ///< buffers thrown away by the discard count
    uint64_t droppedNoFrame = 0;   ///< buffers dropped because a raw frame was missing
};

class StreamHub : public StoppableThread
{
public:
    /// The largest stream buffer the data connection delivers.
    static constexpr uint32_t kReceiveBufferBytes = 8696254;
    /// Buffers with image data before the first raw frame is handed on.
    static constexpr uint32_t kFirstCommittedFrame = 5;
    /// Buffers thrown away after the frame-state flag was off.
    static constexpr int kDiscardAfterFrameState = 3;
    static constexpr uint32_t kRawQueueCapacity = 2;
    static constexpr uint32_t kRawPoolFrames = 5;
    static constexpr unsigned kRetryPauseMs = 10;
    static constexpr int kRawDumpBuffers = 3;
    /// GetStreamStatus reports a connected stream until more reads than this failed in a row.
    static constexpr uint32_t kStreamLostFailedReads = 300;

    /// `source` is the owning session (it outlives the hub; may be null, then the thread idles). Builds
    /// the raw queues and takes the first frame of each to fill.
    explicit StreamHub(StreamSource *source);
    ~StreamHub() override;

    /// Parses one stream buffer; a null `buffer` means the hub's own receive buffer.
    void ProcessData(uint32_t length, uint8_t *buffer);

    /// Stores the calibration block once; 0, or -1 for a null pointer or a length under 5.
    int DecodeDeviceInitParams(const uint8_t *data, int length);
    /// Copies the stored calibration block out when one was received (true); else leaves `params` as is.
    bool GetDeviceInitParams(InitCameraParams &params) const;
    DeviceStatus *GetDeviceStatus();

    void SetConnectStatus(bool connected);
    bool IsConnected() const { return m_connect.load(); }
    /// 0, or -1 for a stream kind above 5.
    int SetStreamEnable(StreamType type, bool enabled);
    /// The flag (0 or 1), or -1 for a stream kind above 5.
    int GetStreamEnable(StreamType type) const;
    void SetSaveRawBufferEnabled(bool enabled);
    bool GetSaveRawBufferEnabled() const { return m_saveRawBuffer.load(); }
    /// The hub's own switches: with the stream off nothing is committed; with the frame state off the
    /// next buffers are thrown away.
    void SetStream(bool on) { m_streamOn.store(on); }
    void SetFrameState(bool on) { m_frameState.store(on); }
    bool IsStreamOn() const { return m_streamOn.load(); }
    bool IsFrameStateOn() const { return m_frameState.load(); }
    /// How long a consumer of a raw queue waits for a frame.
    void SetWaitTime(uint16_t waitTimeMs);
    /// 1 while connected and reads succeed, 0 once more than kStreamLostFailedReads failed in a row.
    int GetStreamStatus() const;

    /// Consumer side used by the decoders: 0, or -1 when nothing came within the wait time.
    int GetTofRawData(Frame **frame);
    int GetRGBRawData(Frame **frame);
    void RecycleRawTofFrame(Frame *frame);
    void RecycleRawColorFrame(Frame *frame);
    FrameQueue *GetRawTofQueue() { return m_rawTofQueue.get(); }
    FrameQueue *GetRawColorQueue() { return m_rawColorQueue.get(); }

    /// The last device error code the camera reported (0: none).
    int32_t GetDeviceErrorCode() const { return m_deviceErrorCode.load(); }
    /// The last JSON configuration result: status value, success flag, error code.
    uint8_t GetJsonStatus() const { return m_jsonStatus.load(); }
    uint8_t GetJsonSuccess() const { return m_jsonSuccess.load(); }
    uint8_t GetJsonErrorCode() const { return m_jsonErrorCode.load(); }
    uint32_t GetFrameCounter() const { return m_frameCounter; }
    uint32_t GetConsecutiveFailedReads() const { return m_consecutiveFailedReads.load(); }
    HubCounters GetCounters() const;
    /// Where the hub and its raw queues count what they drop, logged once a minute by the receive thread
    /// while they grow. Set before the thread starts; the counters outlive the hub.
    void SetDropCounters(DropCounters *counters);
    /// Where the receive thread offers every buffer it reads, as read, before parsing it (null: nowhere).
    /// The recorder outlives the hub.
    void SetRawRecorder(RawRecorder *recorder) { m_rawRecorder.store(recorder); }

protected:
    void Run() override;

private:
    enum class Outcome
    {
        Clean,   ///< every byte parsed
        Stopped, ///< parsing ended at a bad or unknown sub-packet
    };

    Outcome ParseSubPackets(const uint8_t *data, uint32_t length);
    /// Applies one sub-packet whose length fits the buffer; false ends the buffer.
    bool ApplySubPacket(uint8_t typeId, const uint8_t *packet, uint32_t dataLength, uint8_t unUsed);
    bool AppendTof(const uint8_t *packet, uint32_t dataLength, uint8_t bits);
    bool CopyColor(const uint8_t *packet, uint32_t dataLength);
    void StoreDeviceStatus(const uint8_t *payload, uint16_t payloadLength);
    void StoreJsonResult(const uint8_t *payload, uint32_t payloadLength);
    void DumpRaw(const uint8_t *payload, uint32_t payloadLength, int rangeOrMinus1);
    void Commit();
    /// Counts the frames a buffer that was given up on would have carried: a stream whose part was not
    /// taken, when it is enabled and has delivered before (a camera without colour loses no colour).
    void CountLostBuffer(DropReason reason, bool tofTaken, bool colorTaken);
    /// Counts the buffers the source's connection threw away since the last look, as refused buffers.
    void CountRefusedByConnection();
    static void ClearFrame(Frame *frame);
    bool IsEnabled(StreamType type) const { return m_streamEnable[type].load(); }
    void LogInitParams() const;

    StreamSource *m_source;                            // the owning session
    DropCounters *m_dropCounters = nullptr;            // owned by the pipeline
    std::unique_ptr<DropCountersLog> m_dropLog;        // polled by the receive thread only
    std::atomic<RawRecorder *> m_rawRecorder{nullptr}; // owned by the pipeline
    std::vector<uint8_t> m_receiveBuffer;
    std::unique_ptr<FrameQueue> m_rawTofQueue;
    std::unique_ptr<FrameQueue> m_rawColorQueue;
    // Touched only by the thread that runs ProcessData.
    Frame *m_rawTof = nullptr;
    Frame *m_rawColor = nullptr;
    uint32_t m_tofBytes = 0;
    uint8_t m_hasFrameType = 0;
    uint64_t m_timestamp = 0;
    uint8_t m_imuFrameNo = 0;
    uint32_t m_frameCounter = 0;
    int m_discardCount = 0;
    uint64_t m_refusedBuffersSeen = 0; // the source's refused-buffer count already counted as drops

    std::atomic<bool> m_streamEnable[6];
    std::atomic<bool> m_connect{true};
    std::atomic<bool> m_streamOn{true};
    std::atomic<bool> m_frameState{true};
    std::atomic<bool> m_saveRawBuffer{false};
    std::atomic<int> m_dumpedBuffers{0};
    // Written once by the hub thread before the flag is set; read after it.
    std::atomic<bool> m_bReceiveInitCameraParams{false};
    bool m_bufferCarriedStatus = false; // hub thread only: the buffer being parsed had a status record
    alignas(8) InitCameraParams m_initParams{};
    std::atomic<int32_t> m_deviceErrorCode{0};
    std::atomic<uint8_t> m_jsonStatus{0};
    std::atomic<uint8_t> m_jsonSuccess{0};
    std::atomic<uint8_t> m_jsonErrorCode{0};

    std::atomic<uint64_t> m_buffersRead{0};
    std::atomic<uint64_t> m_failedReads{0};
    std::atomic<uint32_t> m_consecutiveFailedReads{0};
    std::atomic<uint64_t> m_buffersParsed{0};
    std::atomic<uint64_t> m_malformedBuffers{0};
    std::atomic<uint64_t> m_rejectedBlocks{0};
    std::atomic<uint64_t> m_committedTof{0};
    std::atomic<uint64_t> m_committedColor{0};
    std::atomic<uint64_t> m_discardedBuffers{0};
    std::atomic<uint64_t> m_droppedNoFrame{0};
};
