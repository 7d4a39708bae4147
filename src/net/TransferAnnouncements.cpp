// SPDX-License-Identifier: Apache-2.0
// TransferAnnouncements: 0x1D payloads byte for byte, refused before anything is sent when they would
// not fit the command's 64 bytes.
#include "net/TransferAnnouncements.h"

#include "runtime/ByteReader.h"

namespace {

bool HasIndex(uint8_t type)
{
    return type == 5 || type == 6;
}

bool PlainName(const std::string &name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\\') == std::string::npos;
}

} // namespace

bool TransferAnnouncements::Split(const std::string &path, SplitFilePath &out)
{
    const size_t separator = path.find_last_of("/\\");
    if (separator == std::string::npos || separator + 1 == path.size()) {
        return false;
    }
    std::string directory = path.substr(0, separator);
    for (char &c : directory) {
        c = c == '\\' ? '/' : c;
    }
    out.directory = directory.empty() ? "/" : directory;
    out.name = path.substr(separator + 1);
    return true;
}

bool TransferAnnouncements::NamedFile(uint8_t first, uint8_t second, const std::string &host,
                                      const std::string &name, std::vector<uint8_t> &out)
{
    if (name.empty() || 2 + kHostFieldBytes + name.size() + 1 > kMaxPayloadBytes) {
        return false;
    }
    ByteWriter w;
    w.WriteU8(first);
    w.WriteU8(second);
    w.WriteText(host.c_str(), kHostFieldBytes);
    w.WriteBytes(name.data(), name.size());
    w.WriteU8(0);
    out = w.Bytes();
    return true;
}

bool TransferAnnouncements::FirmwareImage(const std::string &host, const std::string &name,
                                          std::vector<uint8_t> &out)
{
    return NamedFile(1, 1, host, name, out);
}

bool TransferAnnouncements::JsonFile(const std::string &host, const std::string &name,
                                     std::vector<uint8_t> &out)
{
    return NamedFile(3, 4, host, name, out);
}

std::vector<uint8_t> TransferAnnouncements::JsonMode(const std::string &host)
{
    ByteWriter w;
    w.WriteU8(3);
    w.WriteU8(1);
    w.WriteText(host.c_str(), kHostFieldBytes);
    w.WriteZeros(38 - 2 - kHostFieldBytes);
    return w.Bytes();
}

bool TransferAnnouncements::HostToCamera(uint8_t type, const std::string &host, uint8_t index, uint32_t value,
                                         uint8_t flag, const std::string &name, std::vector<uint8_t> &out)
{
    const size_t fixed = HasIndex(type) ? 28 : 27;
    if (name.empty() || fixed + name.size() > kMaxPayloadBytes) {
        return false;
    }
    ByteWriter w;
    w.WriteU8(type);
    w.WriteU8(1);
    w.WriteText(host.c_str(), kHostFieldBytes);
    if (HasIndex(type)) {
        w.WriteU8(index);
    }
    w.WriteU32Le(value);
    w.WriteU8(flag);
    w.WriteU32Le(static_cast<uint32_t>(name.size()));
    w.WriteBytes(name.data(), name.size());
    out = w.Bytes();
    return true;
}

std::vector<uint8_t> TransferAnnouncements::CameraToHost(uint8_t type, const std::string &host, uint8_t index)
{
    ByteWriter w;
    w.WriteU8(type);
    w.WriteU8(2);
    w.WriteText(host.c_str(), kHostFieldBytes);
    if (HasIndex(type)) {
        w.WriteU8(index);
    }
    return w.Bytes();
}

std::string TransferAnnouncements::UploadName(uint8_t type, const std::string &tag, uint8_t index)
{
    if (!PlainName(tag)) {
        return {};
    }
    const std::string i = std::to_string(index);
    switch (type) {
    case 4:
        return "intrinsic_" + tag + ".bin";
    case 5:
        return "planeness_" + tag + "_" + i + ".bin";
    case 6:
        return "rangeOffset_" + tag + "_" + i + ".bin";
    case 7:
        return "ir_background_" + tag + ".bin";
    default:
        return {};
    }
}
