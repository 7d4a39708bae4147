// SPDX-License-Identifier: Apache-2.0
// RawRecordingHeader: gathers the camera's identity from its handle and session and writes it as JSON.
#include "api/RawRecordingHeader.h"

#include <cstdio>
#include <ctime>

#include "api/DeviceHandle.h"
#include "device/BaseDevice.h"
#include "session/BaseSession.h"

namespace {

/// The NUL-terminated text in `buffer`, or empty when the camera did not answer.
std::string TextOf(int status, const char *buffer)
{
    return status == 0 ? std::string(buffer) : std::string();
}

std::string UtcNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof(text), "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

} // namespace

std::string RawRecordingHeader::Quote(const std::string &text)
{
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string RawRecordingHeader::Build(TfDeviceHandle device, BaseSession &session)
{
    char serial[64] = {};
    char firmware[64] = {};
    const std::string serialText = TextOf(session.GetSN(serial, sizeof(serial) - 1), serial);
    const std::string firmwareText = TextOf(session.GetFWVer(firmware, sizeof(firmware) - 1), firmware);
    // The exported call is the one place that knows the library's version.
    char version[16] = {};
    TFCM_GetSDKVersion(version);
    const DeviceInfo &info = device->pDevice->Info();
    std::string json = "{";
    json += "\"uri\":" + Quote(std::string(info.uri, strnlen(info.uri, sizeof(info.uri))));
    json += ",\"serial\":" + Quote(serialText);
    json += ",\"firmware\":" + Quote(firmwareText);
    json += ",\"dataMode\":" + std::to_string(session.GetCurrentDataMode());
    json += ",\"depthRange\":" + std::to_string(session.GetCurrentDepthRange());
    json += ",\"library\":" + Quote(version);
    json += ",\"startTime\":" + Quote(UtcNow());
    return json + "}";
}
