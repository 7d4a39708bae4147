// SPDX-License-Identifier: Apache-2.0
// TransferAnnouncements: the payloads of command 0x1D that tell a camera which file to fetch from the
// host's HTTP server or which file to upload to it, the path splitting behind them and the names the
// camera uploads under.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

/// A path split into the directory served and the file name announced.
struct SplitFilePath
{
    std::string directory;
    std::string name;
};

class TransferAnnouncements
{
public:
    /// A command payload longer than this is cut by the framing: no announcement may need more.
    static constexpr size_t kMaxPayloadBytes = 64;
    /// The host address field.
    static constexpr size_t kHostFieldBytes = 16;

    /// Splits at the last "/" or "\\" (both are separators, so Windows-style paths work alike). False
    /// for a path without a directory, or one ending in a separator (no file name).
    static bool Split(const std::string &path, SplitFilePath &out);

    /// The firmware image announcement: [1, 1, host(16), name, 0]. False, with nothing built, when the
    /// name would not fit the payload (over 45 characters) or is empty.
    static bool FirmwareImage(const std::string &host, const std::string &name, std::vector<uint8_t> &out);
    /// The JSON configuration file announcement: [3, 4, host(16), name, 0]; the same limits.
    static bool JsonFile(const std::string &host, const std::string &name, std::vector<uint8_t> &out);
    /// The JSON mode announcement: 38 bytes, [3, 1, host(16), zeros].
    static std::vector<uint8_t> JsonMode(const std::string &host);
    /// A host file sent to the camera: types 5 and 6 carry the index (28 + name bytes), the others not
    /// (27 + name). False when the name would not fit the payload.
    static bool HostToCamera(uint8_t type, const std::string &host, uint8_t index, uint32_t value,
                             uint8_t flag, const std::string &name, std::vector<uint8_t> &out);
    /// A camera file sent to the host: [type, 2, host(16)] and the index for types 5 and 6.
    static std::vector<uint8_t> CameraToHost(uint8_t type, const std::string &host, uint8_t index);
    /// The name the camera uploads a file of `type` under, with the serial number `tag` and the index for
    /// types 5 and 6: "intrinsic_<tag>.bin", "planeness_<tag>_<i>.bin", "rangeOffset_<tag>_<i>.bin",
    /// "ir_background_<tag>.bin". Empty for another type or a tag that is not a plain name.
    static std::string UploadName(uint8_t type, const std::string &tag, uint8_t index);

private:
    static bool NamedFile(uint8_t first, uint8_t second, const std::string &host, const std::string &name,
                          std::vector<uint8_t> &out);
};
