// SPDX-License-Identifier: Apache-2.0
// SimUpgradeModel: firmware and JSON configuration exchanges on the camera's side.
#include "SimUpgradeModel.h"

#include "SimTransfers.h"
#include "runtime/LogCustom.h"

#include <algorithm>
#include <chrono>

namespace {

constexpr uint8_t kQueryBit = 0x80;
constexpr uint8_t kWorkMode = 0x12;
constexpr uint8_t kRebootMode = 8;
constexpr uint8_t kUpgradeCommand = 0x1D;
constexpr uint8_t kFirmware = 1;
constexpr uint8_t kJson = 3;
constexpr uint8_t kFirmwarePath = 1;
constexpr uint8_t kJsonMode = 1;
constexpr uint8_t kJsonStateQuery = 2;
constexpr uint8_t kJsonPath = 4;
constexpr size_t kRecordBytes = 10;
constexpr size_t kHostAt = 2;
constexpr size_t kNameAt = 18;
constexpr uint8_t kChecksumState = 2;
constexpr uint8_t kWritingState = 3;
constexpr uint8_t kUpgradeModeState = 3; // the camerastate announced in upgrade mode

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

std::string TextAt(const std::vector<uint8_t> &payload, size_t first, size_t limit)
{
    std::string text;
    for (size_t i = first; i < payload.size() && i < first + limit && payload[i] != 0; ++i) {
        text += static_cast<char>(payload[i]);
    }
    return text;
}

uint8_t Low(uint32_t value)
{
    return static_cast<uint8_t>(value & 0xFF);
}

} // namespace

SimUpgradeModel::SimUpgradeModel(SimCameraLink link) : m_link(std::move(link))
{
}

SimUpgradeModel::~SimUpgradeModel()
{
    Stop();
}

void SimUpgradeModel::Stop()
{
    m_worker.Stop();
}

SimHookResult SimUpgradeModel::Handle(const RecordedFrame &frame)
{
    const uint8_t command = frame.command & static_cast<uint8_t>(~kQueryBit);
    const bool query = (frame.command & kQueryBit) != 0;
    const std::vector<uint8_t> &p = frame.payload;
    const bool drop = m_link.faults().dropInUpgradeMode;
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_mode == SimCameraMode::Upgrade && drop) {
        return {SimHookResult::Kind::Close, {}};
    }
    if (command == kWorkMode && !query && At(p, 0) == kRebootMode && m_mode != SimCameraMode::Normal) {
        ++m_epoch; // the steps still playing stop here
        m_worker.Post([this] { Reboot(SimCameraMode::Normal); });
        return {}; // the command set still counts the reboot
    }
    if (command != kUpgradeCommand || (At(p, 0) != kFirmware && At(p, 0) != kJson)) {
        return {};
    }
    if (!query) {
        lock.unlock();
        return HandleSet(p);
    }
    if (At(p, 0) == kFirmware) {
        std::vector<uint8_t> reply{kFirmware, m_upgrade.state, Low(m_upgrade.param1), Low(m_upgrade.param2)};
        reply.resize(kRecordBytes, 0);
        return {SimHookResult::Kind::Reply, reply};
    }
    if (At(p, 1) == kJsonStateQuery) {
        std::vector<uint8_t> reply{kJson, kJsonStateQuery, m_json.state, Low(m_json.param1),
                                   Low(m_json.param2)};
        reply.resize(kRecordBytes, 0);
        return {SimHookResult::Kind::Reply, reply};
    }
    return {}; // the support query
}

SimHookResult SimUpgradeModel::HandleSet(const std::vector<uint8_t> &p)
{
    const uint8_t target = At(p, 0);
    const uint8_t kind = At(p, 1);
    if (p.size() == kRecordBytes) {
        const Record request{kind, U32At(p, 2), U32At(p, 6)};
        target == kFirmware ? UpgradeStateSet(request) : JsonStateSet(request);
        return {SimHookResult::Kind::Done, {}};
    }
    const std::string host = TextAt(p, kHostAt, kNameAt - kHostAt);
    const std::string name = TextAt(p, kNameAt, p.size());
    const SimUpgradeFaults faults = m_link.faults();
    std::lock_guard<std::mutex> lock(m_mutex);
    if (target == kFirmware && kind == kFirmwarePath && p.size() > kNameAt) {
        if (m_mode != SimCameraMode::Normal || faults.fetch == SimFetchFault::Never) {
            TFLOG("camera %s: not fetching the firmware image %s", m_link.serial().c_str(), name.c_str());
        } else {
            m_worker.Post([this, host, name] { FetchFirmware(host, name); });
        }
    } else if (target == kJson && kind == kJsonMode) {
        if (m_mode == SimCameraMode::Normal || m_mode == SimCameraMode::Json) {
            m_mode = SimCameraMode::Json;
            ++m_epoch;
            m_json = Ready(faults);
            m_changed.notify_all();
        }
    } else if (target == kJson && kind == kJsonPath && p.size() > kNameAt) {
        if (m_mode != SimCameraMode::Json || faults.fetch == SimFetchFault::Never) {
            TFLOG("camera %s: not fetching the JSON file %s", m_link.serial().c_str(), name.c_str());
        } else {
            m_json = Record{};
            const uint64_t epoch = m_epoch;
            m_worker.Post([this, host, name, epoch] { FetchJson(host, name, epoch); });
        }
    } else {
        return {}; // refused and logged by the command set
    }
    return {SimHookResult::Kind::Done, {}};
}

void SimUpgradeModel::UpgradeStateSet(const Record &request)
{
    const SimUpgradeFaults faults = m_link.faults();
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_mode != SimCameraMode::Upgrade) {
        TFLOG("camera %s: upgrade state %u outside upgrade mode", m_link.serial().c_str(), request.state);
        return;
    }
    if (request.state == kChecksumState) {
        const bool match = !m_image.empty() && request.param1 == SimFirmwareImage::WholeChecksum(m_image) &&
                           request.param2 == m_image.size();
        const bool ok = match && !faults.refuseChecksum && faults.failAtState != kChecksumState;
        m_upgrade = Record{kChecksumState, ok ? 1u : 0u, 0};
        TFLOG("camera %s: checksum 0x%x and length %u %s", m_link.serial().c_str(), request.param1,
              request.param2, ok ? "accepted" : "refused");
    } else if (request.state == kWritingState && m_upgrade.state == kChecksumState && m_upgrade.param1 == 1 &&
               faults.stallAtState != kChecksumState) {
        const uint64_t epoch = m_epoch;
        m_worker.Post([this, epoch] { Play(false, 6, epoch); });
    }
}

void SimUpgradeModel::JsonStateSet(const Record &request)
{
    const SimUpgradeFaults faults = m_link.faults();
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_mode != SimCameraMode::Json) {
        TFLOG("camera %s: JSON state %u outside JSON mode", m_link.serial().c_str(), request.state);
        return;
    }
    if (request.state == kChecksumState) {
        const bool ok = !faults.refuseChecksum && faults.failAtState != kChecksumState;
        m_json = Record{kChecksumState, ok ? 1u : 0u, 0};
    } else if (request.state == kWritingState && m_json.state == kChecksumState && m_json.param1 == 1 &&
               faults.stallAtState != kChecksumState) {
        const uint64_t epoch = m_epoch;
        m_worker.Post([this, epoch] { Play(true, 4, epoch); });
    }
}

bool SimUpgradeModel::FetchFile(const std::string &host, const std::string &name, std::vector<uint8_t> &bytes)
{
    std::string error;
    if (!SimTransfers::Fetch(
            m_link.options(), m_link.faults().fetch, m_link.address(), host, name,
            [this] { return m_worker.Stopping(); }, bytes, error)) {
        TFLOG("camera %s: fetching %s from %s failed: %s", m_link.serial().c_str(), name.c_str(),
              host.c_str(), error.c_str());
        return false;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fetched = bytes;
    m_lastFetchBytes = bytes.size();
    m_fetchedAny = true;
    m_changed.notify_all();
    return true;
}

void SimUpgradeModel::FetchFirmware(const std::string &host, const std::string &name)
{
    std::vector<uint8_t> image;
    if (!FetchFile(host, name, image)) {
        return;
    }
    std::string error;
    if (!SimFirmwareImage::Check(image, error)) {
        TFLOG("camera %s: firmware image %s refused: %s", m_link.serial().c_str(), name.c_str(),
              error.c_str());
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_image = std::move(image);
        m_installedVersion.clear();
    }
    Reboot(SimCameraMode::Upgrade);
}

void SimUpgradeModel::FetchJson(const std::string &host, const std::string &name, uint64_t epoch)
{
    std::vector<uint8_t> file;
    if (!FetchFile(host, name, file)) {
        return; // stays (0, 0)
    }
    const SimUpgradeFaults faults = m_link.faults();
    std::lock_guard<std::mutex> lock(m_mutex);
    if (epoch == m_epoch) {
        m_json = Ready(faults);
    }
}

bool SimUpgradeModel::Report(bool json, uint64_t epoch, uint8_t state, uint32_t param1)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (epoch != m_epoch) {
        return false;
    }
    (json ? m_json : m_upgrade) = Record{state, param1, 0};
    return true;
}

void SimUpgradeModel::Play(bool json, uint8_t lastState, uint64_t epoch)
{
    const SimUpgradeFaults faults = m_link.faults();
    const SimUpgradeOptions options = m_link.options();
    const unsigned step = std::max(1u, options.percentStep);
    for (unsigned percent = std::min(step, 100u);; percent = std::min(percent + step, 100u)) {
        const bool fail = faults.failAtState == kWritingState;
        if (!Report(json, epoch, kWritingState, fail ? 0 : percent) || fail ||
            faults.stallAtState == kWritingState || !m_worker.SleepFor(options.stepDelayMs)) {
            return;
        }
        if (percent == 100) {
            break;
        }
    }
    for (uint8_t state = kWritingState + 1; state <= lastState; ++state) {
        if (faults.outOfRangeState >= 0 && state == kWritingState + 1) {
            Report(json, epoch, static_cast<uint8_t>(faults.outOfRangeState), 1);
            return;
        }
        const bool fail = faults.failAtState == state;
        if (!json && state == lastState && !fail) {
            // Written: the next reboot runs the new image.
            std::lock_guard<std::mutex> lock(m_mutex);
            SimFirmwareImage::Header header;
            if (epoch == m_epoch && SimFirmwareImage::ReadHeader(m_image, header)) {
                m_installedVersion = SimFirmwareImage::VersionText(header);
            }
        }
        if (!Report(json, epoch, state, fail ? 0 : 1) || fail || faults.stallAtState == state ||
            (state < lastState && !m_worker.SleepFor(options.stepDelayMs))) {
            return;
        }
    }
}

void SimUpgradeModel::PowerLost()
{
    m_worker.DropPending();
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_epoch;
    m_mode = SimCameraMode::Normal;
    m_upgrade = Record{};
    m_json = Record{};
    m_installedVersion.clear();
    m_image.clear();
    m_changed.notify_all();
}

void SimUpgradeModel::Reboot(SimCameraMode into)
{
    const SimUpgradeFaults faults = m_link.faults();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_epoch;
        m_down = true;
    }
    TFLOG("camera %s: rebooting", m_link.serial().c_str());
    m_link.goDown();
    if (!m_worker.SleepFor(m_link.options().rebootDelayMs)) {
        return;
    }
    const bool upgrade = into == SimCameraMode::Upgrade;
    std::string address = m_link.address();
    std::string version;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_mode = into;
        m_upgrade = upgrade ? Ready(faults) : Record{};
        m_json = Record{};
        if (!upgrade && !faults.keepOldVersion) {
            version = m_installedVersion;
        }
        if (!upgrade) {
            m_installedVersion.clear();
            m_image.clear();
        }
    }
    if (upgrade && faults.comeBack == SimComeBack::Never) {
        TFLOG("camera %s: fault: never coming back", m_link.serial().c_str());
    } else {
        if (upgrade && faults.comeBack == SimComeBack::Elsewhere && !faults.comeBackAddress.empty()) {
            address = faults.comeBackAddress;
        }
        if (!version.empty()) {
            m_link.setFirmwareVersion(version);
        }
        m_link.comeUp(upgrade ? kUpgradeModeState : 0, address, !(upgrade && faults.refuseInUpgradeMode));
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_down = upgrade && faults.comeBack == SimComeBack::Never;
    ++m_boots;
    m_changed.notify_all();
}

SimUpgradeModel::Record SimUpgradeModel::Ready(const SimUpgradeFaults &faults) const
{
    const bool notReady = faults.stallAtState == 0 || faults.failAtState == 0;
    return Record{0, notReady ? 0u : 1u, 0};
}

SimCameraMode SimUpgradeModel::Mode() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_mode;
}

std::vector<uint8_t> SimUpgradeModel::FetchedFile() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_fetched;
}

uint64_t SimUpgradeModel::Boots() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_boots;
}

bool SimUpgradeModel::WaitForFetched(uint64_t bytes, unsigned timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_fetchedAny && m_lastFetchBytes == bytes; });
}

bool SimUpgradeModel::WaitForMode(SimCameraMode mode, unsigned timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_mode == mode && !m_down; });
}

bool SimUpgradeModel::WaitForBoots(uint64_t count, unsigned timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_boots >= count; });
}
