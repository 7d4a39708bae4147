// SPDX-License-Identifier: Apache-2.0
// SimFirmwareImage: the firmware image file a camera installs (a 512-byte header and the data), built
// for tests and checked by the simulated camera when it has fetched one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

/// Header, little-endian: [0] device code 11, [1] flash type 0, [2..] build date "YYYYMMDD" and a NUL,
/// [11] sub-version, [12..19] u64 length of the whole file, [20..23] u32 sum of the data bytes. The
/// whole-file checksum is the data sum plus the sum of the 512 header bytes (mod 2^32).
class SimFirmwareImage
{
public:
    static constexpr size_t kHeaderBytes = 512;
    static constexpr uint8_t kDeviceCode = 11;
    static constexpr uint8_t kFlashType = 0;

    /// What a header says.
    struct Header
    {
        uint8_t deviceCode = 0;
        uint8_t flashType = 0;
        std::string date; // the text up to its NUL, at most eight characters
        uint8_t subVersion = 0;
        uint64_t fileBytes = 0;
        uint32_t dataSum = 0;
    };

    /// A valid image of `totalBytes` bytes (at least the header) dated `date` ("YYYYMMDD"); the data
    /// bytes are a fixed function of their position.
    static std::vector<uint8_t> Build(const std::string &date, uint8_t subVersion, size_t totalBytes);
    /// Writes Build's image to `path`; false with `error` filled when the date is not eight digits, the
    /// size below the header, or the file cannot be written.
    static bool WriteFile(const std::string &path, const std::string &date, uint8_t subVersion,
                          uint64_t totalBytes, std::string &error);

    /// Reads the header of `image`; false when it is shorter than the header.
    static bool ReadHeader(const std::vector<uint8_t> &image, Header &out);
    /// True when the image may be installed: device code 11, flash type 0, a date of eight digits, the
    /// declared length equal to the image's and the data sum right; else false with `error` filled.
    static bool Check(const std::vector<uint8_t> &image, std::string &error);
    /// The data sum plus the header bytes, mod 2^32.
    static uint32_t WholeChecksum(const std::vector<uint8_t> &image);
    /// The firmware version the camera reports once it runs this image: "KR52_V2.3.7_<date>_V<sub>".
    static std::string VersionText(const Header &header);

private:
    static uint32_t Sum(const uint8_t *data, size_t size);
};
