// SPDX-License-Identifier: Apache-2.0
// FirmwareImage: the checks a firmware image file passes before a camera is told to fetch it.
#pragma once

#include <cstdint>

/// A firmware image is a 512-byte header (little-endian) followed by the image data:
/// [0] device code (11 for network cameras), [1] flash type (0), [2..10] build date "YYYYMMDD" and a
/// zero byte, [11] sub-version, [12..19] u64 length of the whole file, [20..23] u32 sum of the data
/// bytes; the rest of the header is not interpreted but counts in the whole-file checksum (data sum plus
/// the sum of the 512 header bytes, modulo 2^32). The camera's firmware version text ends in
/// "_YYYYMMDD_V<sub-version>".
class FirmwareImage
{
public:
    static constexpr int kHeaderBytes = 512;
    static constexpr uint8_t kNetworkDeviceCode = 11;
    /// Images of 2 GiB or more are refused: the camera takes lengths as 32-bit values.
    static constexpr uint64_t kMaxFileBytes = (uint64_t{1} << 31) - 1;
    /// The data is summed in blocks of this size, so a check holds no more than one block.
    static constexpr int kSumBlockBytes = 64 * 1024;

    /// Results of Check, as the session returns them.
    enum Result : int
    {
        kNewer = 0,           ///< the image is newer than the camera's firmware
        kSameSubVersion = 1,  ///< same sub-version: it may still be installed
        kRefused = -1,        ///< version, date, flash type or device type do not fit
        kBadFile = -2,        ///< missing, too small, too large, bad date text or length mismatch
        kChecksumFailed = -3, ///< the data does not add up to the header's checksum
    };

    /// A calendar date and a sub-version, as both the camera and the image state them.
    struct Version
    {
        int year = 0;
        int month = 0;
        int day = 0;
        int subVersion = 0;
        /// YYYYMMDD as one number, ordered as calendar dates are.
        int DateNumber() const { return year * 10000 + month * 100 + day; }
    };

    /// Parses the camera's version text: false when its last "_" is missing, before position 9, not
    /// followed by two characters, or the eight characters before it are not digits.
    static bool ParseCameraVersion(const char *text, Version &out);

    /// Checks the image at `path` against the camera's version text and device type, logging the reason
    /// of a refusal. On kNewer or kSameSubVersion `fileLength` is the file size and `checksum` the
    /// whole-file checksum.
    static int Check(const char *path, const char *cameraVersion, uint32_t deviceType, int &fileLength,
                     int &checksum);

private:
    struct Header
    {
        uint8_t deviceCode = 0;
        uint8_t flashType = 0;
        Version version;
        uint64_t fileLength = 0;
        uint32_t dataChecksum = 0;
        uint32_t byteSum = 0; ///< sum of the 512 header bytes
    };
    /// Reads the header fields; false when the build date is not eight digits and a zero byte.
    static bool ParseHeader(const uint8_t *bytes, Header &out);
    /// Compares the header with the camera; kNewer, kSameSubVersion or kRefused (logged).
    static int CompareWithCamera(const Header &header, const Version &camera, uint32_t deviceType);
};
