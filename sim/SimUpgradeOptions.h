// SPDX-License-Identifier: Apache-2.0
// How a simulated camera plays firmware upgrades, JSON configuration and file transfers: its timing,
// its calibration files and the faults it shows on demand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

/// How the camera fetches a file the host announces.
enum class SimFetchFault
{
    None,
    Never,   // the camera ignores the announcement
    Refused, // the camera asks for a name the host does not serve (404) and gives up
    Cut,     // the camera closes the connection halfway through the body and gives up
    Slow     // the camera reads at SimUpgradeOptions::slowFetchBytesPerSecond and carries on
};

/// Where the camera comes back after the reboot into upgrade mode.
enum class SimComeBack
{
    Normally,  // on its own address
    Elsewhere, // on SimUpgradeFaults::comeBackAddress (and stays there)
    Never      // it stays silent
};

/// How one chunk of a camera-to-host upload is spoiled (chunk SimUpgradeFaults::faultyChunk).
enum class SimChunkFault
{
    None,
    WrongChecksum, // the declared checksum is one more than the chunk's
    WrongLength,   // the declared length is one more than the body's
    Truncated,     // the body stops halfway and the connection is closed
    Repeated,      // the chunk is sent twice
    OutOfOrder,    // the chunk is sent after the next one
    Gap,           // the chunk is skipped
    Oversized,     // the chunk is padded with zeros past 1 MiB
    WrongName      // the chunk carries a name the host does not expect
};

/// The faults a camera shows, all off by default. States are the camera's upgrade or JSON states
/// (0 ready, 2 checksum, 3 writing or applying, 4 to 6 the steps after it); -1 is none.
struct SimUpgradeFaults
{
    SimFetchFault fetch = SimFetchFault::None;
    bool refuseChecksum = false;      // state 2 with param1 0
    int stallAtState = -1;            // reports the state (its first step) and never moves on; 0: never ready
    int failAtState = -1;             // reports the state with param1 0 and stops
    int outOfRangeState = -1;         // reported with param1 1 where the last state would come (7, 5...)
    bool dropInUpgradeMode = false;   // in upgrade mode every command closes the connection
    bool refuseInUpgradeMode = false; // in upgrade mode nothing listens
    SimComeBack comeBack = SimComeBack::Normally;
    std::string comeBackAddress; // for SimComeBack::Elsewhere
    bool keepOldVersion = false; // the final reboot keeps the version the camera had
    SimChunkFault chunk = SimChunkFault::None;
    size_t faultyChunk = 0;          // which chunk (0-based) the chunk fault spoils
    bool transferStuckAtTwo = false; // progress polls answer 2 for ever
};

/// The camera's timing and files.
struct SimUpgradeOptions
{
    uint16_t serverPort = 8080;          // the host's HTTP server
    unsigned rebootDelayMs = 1000;       // silent time of a reboot
    unsigned percentStep = 25;           // writing or applying goes up by this many percent a step
    unsigned stepDelayMs = 150;          // time between two reported states
    unsigned httpTimeoutMs = 5000;       // bound of each HTTP exchange without progress
    size_t uploadChunkBytes = 64 * 1024; // camera-to-host chunks
    uint64_t slowFetchBytesPerSecond = 256 * 1024;
    /// The calibration file uploaded for (type, index); a missing one gets a deterministic file of the
    /// size the host expects (SimUpgradeOptions::DefaultCalibrationFile).
    std::map<std::pair<uint8_t, uint8_t>, std::vector<uint8_t>> calibrationFiles;

    /// 614,400 bytes for types 4, 5 and 7; 2 × the range's largest depth + 2 for type 6; empty for
    /// another type or a range index above 5. Byte i is a fixed function of type, index and i.
    static std::vector<uint8_t> DefaultCalibrationFile(uint8_t type, uint8_t index);
};
