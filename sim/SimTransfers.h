// SPDX-License-Identifier: Apache-2.0
// SimTransfers: the camera's side of calibration file transfers: it fetches the files the host
// announces, uploads its own files in chunks, and answers the host's progress polls.
#pragma once

#include "SimCommandHook.h"
#include "SimTaskThread.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

/// A file the host sent to the camera.
struct SimReceivedFile
{
    uint8_t type = 0;
    uint8_t index = 0;
    std::string name;
    std::vector<uint8_t> bytes;
};

/// How the host answered one chunk of an upload (status 0: no answer, `error` says why).
struct SimUploadResponse
{
    uint64_t offset = 0;
    size_t bytes = 0;
    int status = 0;
    std::string body;
    std::string error;
};

/// Command 0x1D with [0] = type 4 or above. Set [type, 1, host(16), ...name]: the camera fetches the
/// file and keeps it; set [type, 2, host(16)(, index)]: it uploads its file of that type; get [type,
/// index] answers d[0] = type, d[1] = index, d[2] = 2 while working, 1 done, 0 failed (or never
/// started). Every method may be called from any thread.
class SimTransfers
{
public:
    explicit SimTransfers(SimCameraLink link);
    ~SimTransfers();
    SimTransfers(const SimTransfers &) = delete;
    SimTransfers &operator=(const SimTransfers &) = delete;

    SimHookResult Handle(const RecordedFrame &frame);
    void Stop();

    std::vector<SimReceivedFile> ReceivedFiles() const;
    /// The answers to the chunks of the last upload, in the order they were sent.
    std::vector<SimUploadResponse> UploadResponses() const;
    /// Waits until `count` transfers have ended (either way, failed or not); false on time-out.
    bool WaitForTransfers(uint64_t count, unsigned timeoutMs) const;

    /// Fetches http://host:port/name from `localAddress` with `fault`; false with `error` filled for a
    /// failed fetch or an answer other than 200.
    static bool Fetch(const SimUpgradeOptions &options, SimFetchFault fault, const std::string &localAddress,
                      const std::string &host, const std::string &name,
                      const std::function<bool()> &cancelled, std::vector<uint8_t> &bytes,
                      std::string &error);
    /// The name the camera uploads a file of `type` under: "intrinsic_<serial>.bin",
    /// "planeness_<serial>_<i>.bin", "rangeOffset_<serial>_<i>.bin", "ir_background_<serial>.bin".
    static std::string UploadName(uint8_t type, const std::string &serial, uint8_t index);

private:
    using Key = std::pair<uint8_t, uint8_t>;
    void HostToCamera(const RecordedFrame &frame);
    void CameraToHost(const RecordedFrame &frame);
    bool ReceiveFile(const std::string &host, uint8_t type, uint8_t index, uint32_t size, uint8_t sum,
                     const std::string &name);
    bool Upload(const std::string &host, uint8_t type, uint8_t index);
    /// One planned chunk: where it goes and which chunk of the file it is.
    struct Chunk
    {
        size_t number = 0;
        uint64_t offset = 0;
        size_t bytes = 0;
    };
    static std::vector<Chunk> PlanChunks(size_t fileBytes, size_t chunkBytes, const SimUpgradeFaults &faults);
    bool SendChunk(const std::string &host, const std::vector<uint8_t> &file, const Chunk &chunk,
                   const std::string &name);
    void End(Key key, bool ok);

    const SimCameraLink m_link;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_ended; // signalled under m_mutex when a transfer ends
    std::map<Key, uint8_t> m_status;
    std::vector<SimReceivedFile> m_received;
    std::vector<SimUploadResponse> m_responses;
    uint64_t m_transfersEnded = 0;
    SimTaskThread m_worker; // declared last: stopped before the members its tasks use
};
