// SPDX-License-Identifier: Apache-2.0
// Fuzz target for transfer paths and announcements: splitting a path into the directory served and the
// name announced, the announcement payloads, and the names a camera uploads under.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "FuzzInput.h"
#include "net/TransferAnnouncements.h"
#include "transfer/UploadRules.h"

namespace {

using TA = TransferAnnouncements;

/// A payload the framing carries whole, starting with its two selector bytes and the host field.
void RequirePayload(const std::vector<uint8_t> &payload, uint8_t first, uint8_t second)
{
    Require(payload.size() >= 2 + TA::kHostFieldBytes && payload.size() <= TA::kMaxPayloadBytes);
    Require(payload[0] == first && payload[1] == second);
}

void CheckSplit(const std::string &path, const std::string &host)
{
    SplitFilePath split;
    if (!TA::Split(path, split)) {
        Require(path.find_first_of("/\\") == std::string::npos || path.back() == '/' || path.back() == '\\');
        return;
    }
    Require(!split.name.empty() && split.name.find_first_of("/\\") == std::string::npos);
    Require(!split.directory.empty() && split.directory.find('\\') == std::string::npos);
    Require(path.size() >= split.name.size() + 1 &&
            path.compare(path.size() - split.name.size(), split.name.size(), split.name) == 0);
    std::vector<uint8_t> out;
    if (TA::FirmwareImage(host, split.name, out)) {
        RequirePayload(out, 1, 1);
        // The name follows the host field and ends the payload with its NUL.
        Require(out.size() == 2 + TA::kHostFieldBytes + split.name.size() + 1 && out.back() == 0);
    } else {
        Require(2 + TA::kHostFieldBytes + split.name.size() + 1 > TA::kMaxPayloadBytes);
    }
    if (TA::JsonFile(host, split.name, out)) {
        RequirePayload(out, 3, 4);
    }
}

} // namespace

/// Input: type, index, flag, value (4 bytes), then NUL-separated texts: path, host, tag.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const uint8_t type = in.Byte();
    const uint8_t index = in.Byte();
    const uint8_t flag = in.Byte();
    const auto value = static_cast<uint32_t>(in.Number(4));
    const std::string path = in.Text();
    const std::string host = in.Text();
    const std::string tag = in.Text();

    CheckSplit(path, host);
    RequirePayload(TA::JsonMode(host), 3, 1);
    Require(TA::JsonMode(host).size() == 38);
    const std::vector<uint8_t> toHost = TA::CameraToHost(type, host, index);
    Require(toHost.size() == 2 + TA::kHostFieldBytes + ((type == 5 || type == 6) ? 1 : 0));
    std::vector<uint8_t> toCamera;
    if (TA::HostToCamera(type, host, index, value, flag, tag, toCamera)) {
        RequirePayload(toCamera, type, 1);
    }

    // The server saves what the camera uploads under the name announced for it, without the tag.
    const std::string uploaded = TA::UploadName(type, tag, index);
    if (!uploaded.empty()) {
        const std::string saved = UploadRules::SavedName(uploaded, tag);
        Require(!saved.empty());
        Require(saved.size() + 1 + tag.size() == uploaded.size());
    }
    return 0;
}
