// SPDX-License-Identifier: Apache-2.0
// FileAnnouncer: tells a camera over command 0x1D which file to fetch from the host's HTTP server, or
// which of its files to upload there, after registering that file with the server.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/ProtocolTypes.h"
#include "transfer/WebServer.h"

class SocketCtl;

/// The announcing half of the firmware image, JSON configuration and calibration file operations. The
/// camera is told the command connection's local address; the server job (what may be fetched or
/// uploaded) is registered before anything is sent: a failed registration returns -255 with nothing
/// announced, and a failed announcement ("ret:%d is failed.") releases the job and returns its status.
/// Each method logs in the name of the protocol operation it serves.
class FileAnnouncer
{
public:
    /// Where uploaded calibration files are saved.
    static constexpr const char *kSaveDir = "./Config/";

    explicit FileAnnouncer(SocketCtl &ctl) : m_ctl(ctl) {}

    /// A firmware image to fetch: 0, -1 for a path without a directory or file name or a name the
    /// payload would cut ("pImgPath:%s is error."), -255, or the failed announcement's status. The job
    /// (purpose firmware) stays registered for the upgrade worker to release.
    int FirmwareImage(const char *path);
    /// A JSON configuration file to fetch: as FirmwareImage (purpose JSON), logged "ip:%s pConfigPath:%s".
    int JsonFile(const char *path);
    /// Into JSON configuration mode (purpose JSON, nothing served): 0, -255 or the status.
    int JsonMode();
    /// A calibration file either way: 0 with `jobId` the job the transfer's worker releases, -2 for a
    /// path or name that cannot be announced ("%s is invalid."), -255, or the status.
    int Transfer(const FileTransferParams &params, int &jobId);

    /// The most bytes a camera may upload for a file of `type`: what the host requires of such a file
    /// (640 x 480 16-bit values for types 4, 5 and 7; a range offset table, one 16-bit value per
    /// millimetre of a range up to 65,535 mm and one more, for type 6); 0 for another type. The session
    /// passes the exact size of the range's table in the transfer's `value`, which this bound caps.
    static uint64_t UploadLimitBytes(uint32_t type);

private:
    /// Registers `job`, then sends `payload`; on 0 `jobId` holds the job.
    int Announce(const char *operation, const WebServer::Job &job, const std::vector<uint8_t> &payload,
                 int &jobId);
    /// The fetch announcements of the firmware image and JSON file (`json` chooses).
    int FetchFile(const char *operation, const char *path, bool json);

    SocketCtl &m_ctl;
};
