// SPDX-License-Identifier: Apache-2.0
// SimUpgradeModel: the camera's side of firmware upgrades and JSON configuration: what it answers, the
// files it fetches and checks, the state sequences it plays and the reboots between them.
#pragma once

#include "SimCommandHook.h"
#include "SimFirmwareImage.h"
#include "SimTaskThread.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

/// What the camera is running.
enum class SimCameraMode
{
    Normal,  // announces camerastate 0
    Upgrade, // after the reboot for a firmware image: announces camerastate 3
    Json     // told to take a JSON configuration (no reboot)
};

/// Command 0x1D with [0] = 1 (firmware) or 3 (JSON), and RebootCamera (0x12 [0] = 8) outside the
/// normal mode. Firmware: the announcement [1, 1, host(16), name, 0] makes the camera fetch and check
/// the image, then reboot into upgrade mode, ready (state 0, param1 1). Set [1, 2, checksum, length]
/// answers (2, 1) when both match what it fetched, else (2, 0); set [1, 3, ...] plays (3, percent) up
/// to 100, then (4, 1), (5, 1), (6, 1); RebootCamera then reboots it into the normal mode with the
/// version of the image it installed. JSON: [3, 1, host(16), ...] (38 bytes) enters the mode, ready;
/// [3, 4, host(16), name, 0] fetches the file, (0, 0) until it has it, then ready again; [3, 2, ...]
/// answers (2, 1); [3, 3, ...] plays (3, percent) then (4, 1); RebootCamera reboots it into the normal
/// mode. Get [1] answers d[1..3] = state, param1, param2; get [3, 2] answers d[2..4]. Every method may
/// be called from any thread.
class SimUpgradeModel
{
public:
    explicit SimUpgradeModel(SimCameraLink link);
    ~SimUpgradeModel();
    SimUpgradeModel(const SimUpgradeModel &) = delete;
    SimUpgradeModel &operator=(const SimUpgradeModel &) = delete;

    SimHookResult Handle(const RecordedFrame &frame);
    void Stop();
    /// The camera lost its power: the upgrade or JSON job it was playing ends (its later steps are
    /// dropped), an image not yet installed is forgotten, and it starts in the normal mode.
    void PowerLost();

    SimCameraMode Mode() const;
    /// The last firmware image or JSON file the camera fetched whole (checked or not).
    std::vector<uint8_t> FetchedFile() const;
    /// Reboots completed so far (the camera came back, or stayed silent for good).
    uint64_t Boots() const;
    /// Waits until the last whole fetch had `bytes` bytes.
    bool WaitForFetched(uint64_t bytes, unsigned timeoutMs) const;
    /// Waits until the camera came back from a reboot in `mode`, or entered JSON mode.
    bool WaitForMode(SimCameraMode mode, unsigned timeoutMs) const;
    /// Waits until `count` reboots have completed.
    bool WaitForBoots(uint64_t count, unsigned timeoutMs) const;

private:
    /// One camera state record: state, param1, param2.
    struct Record
    {
        uint8_t state = 0;
        uint32_t param1 = 0;
        uint32_t param2 = 0;
    };

    SimHookResult HandleSet(const std::vector<uint8_t> &payload);
    void UpgradeStateSet(const Record &request);
    void JsonStateSet(const Record &request);
    void EnterJsonMode();
    void FetchFirmware(const std::string &host, const std::string &name);
    void FetchJson(const std::string &host, const std::string &name, uint64_t epoch);
    bool FetchFile(const std::string &host, const std::string &name, std::vector<uint8_t> &bytes);
    /// Plays (3, percent) to 100, then the states after it up to `lastState`, unless a reboot (a new
    /// epoch) or a fault ends it.
    void Play(bool json, uint8_t lastState, uint64_t epoch);
    /// Sets the record unless a reboot came in between; false when it did.
    bool Report(bool json, uint64_t epoch, uint8_t state, uint32_t param1);
    void Reboot(SimCameraMode into);
    Record Ready(const SimUpgradeFaults &faults) const;

    const SimCameraLink m_link;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed; // signalled under m_mutex when a fetch or reboot completes
    SimCameraMode m_mode = SimCameraMode::Normal;
    Record m_upgrade;
    Record m_json;
    uint64_t m_epoch = 0; // grows with every reboot and mode change; stale steps are dropped
    std::vector<uint8_t> m_fetched;
    uint64_t m_lastFetchBytes = 0;
    bool m_fetchedAny = false;
    std::vector<uint8_t> m_image;   // the checked firmware image waiting to be written
    std::string m_installedVersion; // set once the image is written; reported after the next reboot
    uint64_t m_boots = 0;
    bool m_down = false;    // between going down for a reboot and coming back
    SimTaskThread m_worker; // declared last: stopped before the members its tasks use
};
