// SPDX-License-Identifier: Apache-2.0
// Encodes the announcement datagram field by field, from the camera's side.
#include "Announcement.h"

#include "runtime/ByteReader.h"

namespace {

constexpr size_t kBccOffset = 1;

void WriteTextField(ByteWriter &writer, const std::string &text, size_t fieldWidth)
{
    // Keep a terminating NUL: a receiver treating the field as a C string must find its end inside it.
    const std::string cut = text.substr(0, fieldWidth - 1);
    writer.WriteText(cut.c_str(), fieldWidth);
}

} // namespace

std::vector<uint8_t> Announcement::Encode() const
{
    ByteWriter writer;
    writer.WriteU8(kHeader);
    writer.WriteU8(0); // bcc, filled in once the other bytes are known
    writer.WriteU8(static_cast<uint8_t>(kSizeBytes));
    writer.WriteU8(tof);
    writer.WriteU8(rgb);
    WriteTextField(writer, ip, kIpChars);
    writer.WriteU8(deviceType);
    WriteTextField(writer, serial, kSerialChars);
    writer.WriteU8(cameraState);
    WriteTextField(writer, peerIp, kIpChars);
    WriteTextField(writer, alias, kAliasChars);

    std::vector<uint8_t> &bytes = writer.Bytes();
    uint8_t bcc = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i != kBccOffset) {
            bcc ^= bytes[i];
        }
    }
    bytes[kBccOffset] = bcc;
    return bytes;
}
