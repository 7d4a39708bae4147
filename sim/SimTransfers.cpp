// SPDX-License-Identifier: Apache-2.0
// SimTransfers: fetching announced files, uploading calibration files chunk by chunk, progress answers.
#include "SimTransfers.h"

#include "SimHttpClient.h"
#include "runtime/ByteReader.h"
#include "runtime/LogCustom.h"

#include <algorithm>

namespace {

constexpr uint8_t kUpgradeCommand = 0x1D;
constexpr uint8_t kQueryBit = 0x80;
constexpr uint8_t kFirstTransferType = 4;
constexpr uint8_t kToCamera = 1;
constexpr uint8_t kToHost = 2;
constexpr size_t kHostAt = 2;
constexpr size_t kHostBytes = 16;
constexpr size_t kProgressReplyBytes = 4;
constexpr size_t kMaxChunkBytes = size_t{1} << 20;
constexpr uint8_t kWorking = 2;
constexpr uint8_t kDone = 1;
constexpr uint8_t kFailed = 0;

bool HasIndex(uint8_t type)
{
    return type == 5 || type == 6;
}

uint8_t At(const std::vector<uint8_t> &payload, size_t index)
{
    return index < payload.size() ? payload[index] : 0;
}

uint32_t U32At(const std::vector<uint8_t> &payload, size_t index)
{
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) {
        value |= static_cast<uint32_t>(At(payload, index + i)) << (8 * i);
    }
    return value;
}

std::string HostFrom(const std::vector<uint8_t> &payload)
{
    std::string host;
    for (size_t i = kHostAt; i < kHostAt + kHostBytes && i < payload.size() && payload[i] != 0; ++i) {
        host += static_cast<char>(payload[i]);
    }
    return host;
}

} // namespace

SimTransfers::SimTransfers(SimCameraLink link) : m_link(std::move(link))
{
}

SimTransfers::~SimTransfers()
{
    Stop();
}

void SimTransfers::Stop()
{
    m_worker.Stop();
}

SimHookResult SimTransfers::Handle(const RecordedFrame &frame)
{
    const uint8_t type = At(frame.payload, 0);
    if ((frame.command & static_cast<uint8_t>(~kQueryBit)) != kUpgradeCommand || type < kFirstTransferType) {
        return {};
    }
    const Key key{type, At(frame.payload, 1)};
    if ((frame.command & kQueryBit) != 0) {
        const bool stuck = m_link.faults().transferStuckAtTwo;
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto found = m_status.find(key);
        const uint8_t status = stuck ? kWorking : found == m_status.end() ? kFailed : found->second;
        std::vector<uint8_t> reply{key.first, key.second, status};
        reply.resize(kProgressReplyBytes, 0);
        return {SimHookResult::Kind::Reply, reply};
    }
    const uint8_t direction = At(frame.payload, 1);
    if (direction != kToCamera && direction != kToHost) {
        return {};
    }
    const Key progress{type, HasIndex(type) ? At(frame.payload, kHostAt + kHostBytes) : uint8_t{0}};
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_status[progress] = kWorking;
    }
    m_worker.Post([this, frame, direction] {
        if (direction == kToCamera) {
            HostToCamera(frame);
        } else {
            CameraToHost(frame);
        }
    });
    return {SimHookResult::Kind::Done, {}};
}

void SimTransfers::HostToCamera(const RecordedFrame &frame)
{
    const std::vector<uint8_t> &p = frame.payload;
    const uint8_t type = At(p, 0);
    const bool indexed = HasIndex(type);
    const size_t valueAt = indexed ? 19 : 18;
    const uint8_t index = indexed ? At(p, 18) : 0;
    const size_t nameAt = valueAt + 9;
    const size_t nameBytes =
        std::min<size_t>(U32At(p, valueAt + 5), p.size() > nameAt ? p.size() - nameAt : 0);
    const std::string name(p.begin() + static_cast<std::ptrdiff_t>(std::min(nameAt, p.size())),
                           p.begin() + static_cast<std::ptrdiff_t>(std::min(nameAt + nameBytes, p.size())));
    End({type, index}, ReceiveFile(HostFrom(p), type, index, U32At(p, valueAt), At(p, valueAt + 4), name));
}

bool SimTransfers::ReceiveFile(const std::string &host, uint8_t type, uint8_t index, uint32_t size,
                               uint8_t sum, const std::string &name)
{
    const SimUpgradeFaults faults = m_link.faults();
    if (faults.fetch == SimFetchFault::Never) {
        TFLOG("camera %s: fault: not fetching %s", m_link.serial().c_str(), name.c_str());
        return false;
    }
    std::vector<uint8_t> bytes;
    std::string error;
    if (!Fetch(
            m_link.options(), faults.fetch, m_link.address(), host, name,
            [this] { return m_worker.Stopping(); }, bytes, error)) {
        TFLOG("camera %s: fetching %s failed: %s", m_link.serial().c_str(), name.c_str(), error.c_str());
        return false;
    }
    uint8_t got = 0;
    for (uint8_t b : bytes) {
        got = static_cast<uint8_t>(got + b);
    }
    if (bytes.size() != size || got != sum) {
        TFLOG("camera %s: %s has %zu bytes summing to %u, announced %u and %u", m_link.serial().c_str(),
              name.c_str(), bytes.size(), got, size, sum);
        return false;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_received.push_back(SimReceivedFile{type, index, name, std::move(bytes)});
    return true;
}

void SimTransfers::CameraToHost(const RecordedFrame &frame)
{
    const uint8_t type = At(frame.payload, 0);
    const uint8_t index = HasIndex(type) ? At(frame.payload, kHostAt + kHostBytes) : 0;
    End({type, index}, Upload(HostFrom(frame.payload), type, index));
}

std::vector<SimTransfers::Chunk> SimTransfers::PlanChunks(size_t fileBytes, size_t chunkBytes,
                                                          const SimUpgradeFaults &faults)
{
    std::vector<Chunk> plan;
    const size_t step = std::max<size_t>(chunkBytes, 1);
    for (size_t offset = 0; offset < fileBytes; offset += step) {
        plan.push_back(Chunk{plan.size(), offset, std::min(step, fileBytes - offset)});
    }
    const size_t k = faults.faultyChunk;
    if (k >= plan.size()) {
        return plan;
    }
    switch (faults.chunk) {
    case SimChunkFault::Repeated:
        plan.insert(plan.begin() + static_cast<std::ptrdiff_t>(k) + 1, plan[k]);
        break;
    case SimChunkFault::OutOfOrder:
        if (k + 1 < plan.size()) {
            std::swap(plan[k], plan[k + 1]);
        }
        break;
    case SimChunkFault::Gap:
        plan.erase(plan.begin() + static_cast<std::ptrdiff_t>(k));
        break;
    default:
        break;
    }
    return plan;
}

bool SimTransfers::Upload(const std::string &host, uint8_t type, uint8_t index)
{
    const SimUpgradeOptions options = m_link.options();
    const auto found = options.calibrationFiles.find({type, index});
    const std::vector<uint8_t> file = found != options.calibrationFiles.end()
                                          ? found->second
                                          : SimUpgradeOptions::DefaultCalibrationFile(type, index);
    const std::string name = UploadName(type, m_link.serial(), index);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_responses.clear();
    }
    if (file.empty() || name.empty()) {
        TFLOG("camera %s: no file of type %u index %u to upload", m_link.serial().c_str(), type, index);
        return false;
    }
    for (const Chunk &chunk : PlanChunks(file.size(), options.uploadChunkBytes, m_link.faults())) {
        if (!SendChunk(host, file, chunk, name)) {
            return false;
        }
    }
    return true;
}

bool SimTransfers::SendChunk(const std::string &host, const std::vector<uint8_t> &file, const Chunk &chunk,
                             const std::string &name)
{
    const SimUpgradeOptions options = m_link.options();
    const SimUpgradeFaults faults = m_link.faults();
    const SimChunkFault fault = chunk.number == faults.faultyChunk ? faults.chunk : SimChunkFault::None;
    const auto first = file.begin() + static_cast<std::ptrdiff_t>(chunk.offset);
    std::vector<uint8_t> body(first, first + static_cast<std::ptrdiff_t>(chunk.bytes));
    if (fault == SimChunkFault::Oversized) {
        body.resize(kMaxChunkBytes + 1, 0);
    }
    uint32_t sum = 0;
    for (uint8_t b : body) {
        sum += b;
    }
    const uint64_t declared = body.size() + (fault == SimChunkFault::WrongLength ? 1 : 0);
    sum += fault == SimChunkFault::WrongChecksum ? 1 : 0;
    const std::string target =
        "/upload?name=" + (fault == SimChunkFault::WrongName ? "other_" : std::string()) + name +
        "&offset=" + std::to_string(chunk.offset) + "&fileDatalength=" + std::to_string(declared) +
        "&checksum=" + std::to_string(sum);
    SimHttpClient::Options http;
    http.localAddress = m_link.address();
    http.timeoutMs = options.httpTimeoutMs;
    http.cancelled = [this] { return m_worker.Stopping(); };
    SimHttpClient client(http);
    SimHttpResponse answer;
    const size_t sendBytes = fault == SimChunkFault::Truncated ? body.size() / 2 : body.size();
    const bool answered = client.Post(host, options.serverPort, target, body, answer, sendBytes);
    SimUploadResponse response{chunk.offset, body.size(), answered ? answer.status : 0, answer.BodyText(),
                               client.LastError()};
    std::lock_guard<std::mutex> lock(m_mutex);
    m_responses.push_back(response);
    return answered && answer.status == 200;
}

void SimTransfers::End(Key key, bool ok)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_status[key] = ok ? kDone : kFailed;
    ++m_transfersEnded;
    m_ended.notify_all();
}

std::vector<SimReceivedFile> SimTransfers::ReceivedFiles() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_received;
}

std::vector<SimUploadResponse> SimTransfers::UploadResponses() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_responses;
}

bool SimTransfers::WaitForTransfers(uint64_t count, unsigned timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_ended.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                            [&] { return m_transfersEnded >= count; });
}

bool SimTransfers::Fetch(const SimUpgradeOptions &options, SimFetchFault fault,
                         const std::string &localAddress, const std::string &host, const std::string &name,
                         const std::function<bool()> &cancelled, std::vector<uint8_t> &bytes,
                         std::string &error)
{
    SimHttpClient::Options http;
    http.localAddress = localAddress;
    http.timeoutMs = options.httpTimeoutMs;
    http.cancelled = cancelled;
    if (fault == SimFetchFault::Slow) {
        http.bytesPerSecond = options.slowFetchBytesPerSecond;
    }
    http.cutHalfway = fault == SimFetchFault::Cut;
    SimHttpClient client(http);
    SimHttpResponse answer;
    const std::string target = "/" + (fault == SimFetchFault::Refused ? "missing_" : std::string()) + name;
    if (!client.Get(host, options.serverPort, target, answer)) {
        error = client.LastError();
        return false;
    }
    if (answer.status != 200) {
        error = "HTTP " + std::to_string(answer.status) + " " + answer.BodyText();
        return false;
    }
    bytes = std::move(answer.body);
    return true;
}

std::string SimTransfers::UploadName(uint8_t type, const std::string &serial, uint8_t index)
{
    const std::string i = std::to_string(index);
    switch (type) {
    case 4:
        return "intrinsic_" + serial + ".bin";
    case 5:
        return "planeness_" + serial + "_" + i + ".bin";
    case 6:
        return "rangeOffset_" + serial + "_" + i + ".bin";
    case 7:
        return "ir_background_" + serial + ".bin";
    default:
        return {};
    }
}
