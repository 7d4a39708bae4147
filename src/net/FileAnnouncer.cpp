// SPDX-License-Identifier: Apache-2.0
// FileAnnouncer: the server job and the 0x1D announcement of each file operation, refused before anything
// is registered or sent when the path or name cannot be announced whole.
#include "net/FileAnnouncer.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "net/ProtocolChecks.h"
#include "net/SocketCtl.h"
#include "net/TransferAnnouncements.h"
#include "protocol/StatusCodes.h"

namespace {

constexpr int kCmdFileTransfer = 0x1D;
constexpr uint32_t kPixelTableBytes = 640u * 480u * 2u;
constexpr uint32_t kRangeOffsetMostBytes = 2u * 0xFFFFu + 2u;

/// `text` up to its NUL within `capacity` bytes.
std::string Terminated(const char *text, size_t capacity)
{
    return std::string(text, strnlen(text, capacity));
}

/// The path the server serves `split` under: its directory (separators already "/") and name.
std::string ServedPath(const SplitFilePath &split)
{
    return split.directory.back() == '/' ? split.directory + split.name : split.directory + "/" + split.name;
}

} // namespace

uint64_t FileAnnouncer::UploadLimitBytes(uint32_t type)
{
    switch (type) {
    case 4:
    case 5:
    case 7:
        return kPixelTableBytes;
    case 6:
        return kRangeOffsetMostBytes;
    default:
        return 0;
    }
}

int FileAnnouncer::Announce(const char *operation, const WebServer::Job &job,
                            const std::vector<uint8_t> &payload, int &jobId)
{
    jobId = WebServer::getInstance()->AcquireJob(job);
    if (jobId < 0) {
        TFLOG_AS(operation, "the web server cannot serve this job: nothing is announced.");
        return kStatusNotSupported;
    }
    std::vector<uint8_t> buffer = payload;
    const int ret = m_ctl.SetCmd(kCmdFileTransfer, reinterpret_cast<char *>(buffer.data()), 0,
                                 static_cast<int>(buffer.size()), kKindSet);
    if (ret != 0) {
        TFLOG_AS(operation, "ret:%d is failed.", ret);
        WebServer::getInstance()->ReleaseJob(jobId);
        jobId = -1;
        return ret;
    }
    return kStatusOk;
}

int FileAnnouncer::FetchFile(const char *operation, const char *path, bool json)
{
    const std::string shown = path != nullptr ? path : "(null)";
    SplitFilePath split;
    std::vector<uint8_t> payload;
    const std::string host = m_ctl.GetLocalIP();
    if (path == nullptr || !TransferAnnouncements::Split(path, split) ||
        !(json ? TransferAnnouncements::JsonFile(host, split.name, payload)
               : TransferAnnouncements::FirmwareImage(host, split.name, payload))) {
        TFLOG_AS(operation, "pImgPath:%s is error.", shown.c_str());
        return -1;
    }
    WebServer::Job job;
    job.purpose = json ? WebServer::Purpose::kJson : WebServer::Purpose::kFirmware;
    job.host = host;
    job.servedPath = ServedPath(split);
    if (json) {
        TFLOG_AS(operation, "ip:%s pConfigPath:%s", host.c_str(), shown.c_str());
    } else {
        TFLOG_AS(operation, "ip:%s pImgPath:%s", host.c_str(), shown.c_str());
    }
    int jobId = -1;
    return Announce(operation, job, payload, jobId);
}

int FileAnnouncer::FirmwareImage(const char *path)
{
    return FetchFile("SetToUpgradeMode_P", path, false);
}

int FileAnnouncer::JsonFile(const char *path)
{
    return FetchFile("SetJsonPath_P", path, true);
}

int FileAnnouncer::JsonMode()
{
    WebServer::Job job;
    job.purpose = WebServer::Purpose::kJson;
    job.host = m_ctl.GetLocalIP();
    int jobId = -1;
    return Announce("SetToJsonMode_P", job, TransferAnnouncements::JsonMode(job.host), jobId);
}

int FileAnnouncer::Transfer(const FileTransferParams &params, int &jobId)
{
    static constexpr const char *kOperation = "TransferFile";
    const std::string name = Terminated(params.name, sizeof params.name);
    WebServer::Job job;
    job.host = m_ctl.GetLocalIP();
    std::vector<uint8_t> payload;
    if (params.type > 0xFF) {
        TFLOG_AS(kOperation, "type:%d is invalid.", static_cast<int>(params.type));
        return -2;
    }
    const auto type = static_cast<uint8_t>(params.type);
    if (params.direction == 0) {
        SplitFilePath split;
        if (!TransferAnnouncements::Split(name, split) ||
            !TransferAnnouncements::HostToCamera(type, job.host, params.index, params.value, params.flag,
                                                 split.name, payload)) {
            TFLOG_AS(kOperation, "%s is invalid.", name.c_str());
            return -2;
        }
        job.servedPath = ServedPath(split);
    } else {
        // The session passes the exact size the type requires in `value`; the type's bound caps it.
        uint64_t limit = UploadLimitBytes(type);
        if (limit != 0 && params.value != 0) {
            limit = std::min<uint64_t>(limit, params.value);
        }
        UploadLimitBytes(type) == 0 ? 0 : (params.value != 0 ? params.value : UploadLimitBytes(type));
        if (limit == 0) {
            TFLOG_AS(kOperation, "type:%d is invalid.", static_cast<int>(type));
        } else {
            // The tag is the caller's name exactly (the camera's serial number), never a path.
            job.upload.expectedName = TransferAnnouncements::UploadName(type, name, params.index);
            if (job.upload.expectedName.empty()) {
                TFLOG_AS(kOperation, "%s is invalid.", name.c_str());
                return -2;
            }
            job.upload.saveDir = kSaveDir;
            job.upload.nameTag = name;
            job.upload.maxFileBytes = limit;
            ::mkdir(kSaveDir, 0755); // the saved files' directory; it may exist already
        }
        payload = TransferAnnouncements::CameraToHost(type, job.host, params.index);
    }
    return Announce(kOperation, job, payload, jobId);
}
