// SPDX-License-Identifier: Apache-2.0
// FirmwareImage: header and version parsing, the comparison with the camera and the data checksum.
#include "upgrade/FirmwareImage.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/stat.h>

#include "runtime/ByteReader.h"
#include "runtime/LogCustom.h"

namespace {
constexpr int kDateOffset = 2;
constexpr int kDateDigits = 8;
/// The camera's last "_" must leave room for the eight date characters and one more before them.
constexpr size_t kMinUnderscorePos = 9;

/// Reads `count` decimal digits; false when one is not a digit.
bool ReadDigits(const char *text, int count, int &out)
{
    out = 0;
    for (int i = 0; i < count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        out = out * 10 + (text[i] - '0');
    }
    return true;
}

/// Reads "YYYYMMDD" into the date fields of `v`.
bool ReadDate(const char *text, FirmwareImage::Version &v)
{
    return ReadDigits(text, 4, v.year) && ReadDigits(text + 4, 2, v.month) && ReadDigits(text + 6, 2, v.day);
}

struct FileCloser
{
    void operator()(FILE *f) const { std::fclose(f); }
};
} // namespace

bool FirmwareImage::ParseCameraVersion(const char *text, Version &out)
{
    if (text == nullptr) {
        return false;
    }
    const char *underscore = std::strrchr(text, '_');
    if (underscore == nullptr) {
        return false;
    }
    const size_t pos = static_cast<size_t>(underscore - text);
    if (pos < kMinUnderscorePos || std::strlen(text) < pos + 3) {
        return false;
    }
    if (!ReadDate(text + pos - kDateDigits, out)) {
        return false;
    }
    // The character after the "_" (the "V") is skipped; the sub-version number follows it.
    int sub = 0;
    for (const char *c = underscore + 2; *c >= '0' && *c <= '9' && sub < 100000; ++c) {
        sub = sub * 10 + (*c - '0');
    }
    out.subVersion = sub;
    return true;
}

bool FirmwareImage::ParseHeader(const uint8_t *bytes, Header &out)
{
    ByteReader reader(bytes, kHeaderBytes);
    out.deviceCode = reader.ReadU8();
    out.flashType = reader.ReadU8();
    const char *date = reinterpret_cast<const char *>(bytes + kDateOffset);
    if (!ReadDate(date, out.version) || bytes[kDateOffset + kDateDigits] != 0) {
        return false;
    }
    reader.Skip(kDateDigits + 1);
    out.version.subVersion = reader.ReadU8();
    out.fileLength = reader.ReadU64Le();
    out.dataChecksum = reader.ReadU32Le();
    out.byteSum = 0;
    for (int i = 0; i < kHeaderBytes; ++i) {
        out.byteSum += bytes[i];
    }
    return true;
}

int FirmwareImage::CompareWithCamera(const Header &header, const Version &camera, uint32_t deviceType)
{
    // Calendar dates compare as YYYYMMDD numbers; no time zone is involved.
    if (header.version.DateNumber() < camera.DateNumber() || header.flashType != 0) {
        TFLOG("version or flash type check failed:%d %d %d.", header.version.DateNumber(),
              camera.DateNumber(), header.flashType);
        return kRefused;
    }
    if (deviceType < 520 || deviceType > 523 || header.deviceCode != kNetworkDeviceCode) {
        TFLOG("devicetype %d != %d is mismatch.", static_cast<int>(deviceType), header.deviceCode);
        return kRefused;
    }
    if (header.version.subVersion < camera.subVersion) {
        TFLOG("Version error  %d, %d", header.version.subVersion, camera.subVersion);
        return kRefused;
    }
    return header.version.subVersion == camera.subVersion ? kSameSubVersion : kNewer;
}

int FirmwareImage::Check(const char *path, const char *cameraVersion, uint32_t deviceType, int &fileLength,
                         int &checksum)
{
    Version camera;
    if (!ParseCameraVersion(cameraVersion, camera)) {
        TFLOG("oldFW:%s is invalid.", cameraVersion != nullptr ? cameraVersion : "");
        return kRefused;
    }
    std::unique_ptr<FILE, FileCloser> file(path != nullptr ? std::fopen(path, "rb") : nullptr);
    struct stat info
    {
    };
    if (!file || fstat(fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode)) {
        TFLOG("pImgPath:%s open failed.", path != nullptr ? path : "");
        return kBadFile;
    }
    const uint64_t size = static_cast<uint64_t>(info.st_size);
    if (size < static_cast<uint64_t>(kHeaderBytes)) {
        TFLOG("The upgrade file:%s is too small:%d.", path, static_cast<int>(size));
        return kBadFile;
    }
    if (size > kMaxFileBytes) {
        TFLOG("The upgrade file:%s is too large:%llu.", path, static_cast<unsigned long long>(size));
        return kBadFile;
    }
    uint8_t headerBytes[kHeaderBytes];
    Header header;
    if (std::fread(headerBytes, 1, kHeaderBytes, file.get()) != static_cast<size_t>(kHeaderBytes)) {
        TFLOG("pImgPath:%s open failed.", path);
        return kBadFile;
    }
    if (!ParseHeader(headerBytes, header)) {
        TFLOG("The upgrade file:%s has no valid build date.", path);
        return kBadFile;
    }
    const int result = CompareWithCamera(header, camera, deviceType);
    if (result < 0) {
        return result;
    }
    if (header.fileLength != size) {
        TFLOG("Upgrade file:%s size mismatch(%d, %d).", path, static_cast<int>(size),
              static_cast<int>(header.fileLength));
        return kBadFile;
    }
    fileLength = static_cast<int>(size);
    // Sum the data block by block; the file may change under us, so the count read is what counts.
    std::unique_ptr<uint8_t[]> block(new uint8_t[kSumBlockBytes]);
    uint32_t sum = 0;
    uint64_t summed = 0;
    size_t got = 0;
    while ((got = std::fread(block.get(), 1, kSumBlockBytes, file.get())) > 0) {
        for (size_t i = 0; i < got; ++i) {
            sum += block[i];
        }
        summed += got;
    }
    if (summed != size - kHeaderBytes || sum != header.dataChecksum) {
        TFLOG("the checksum of valid data 0x%x != 0x%x is mismatch.", header.dataChecksum, sum);
        return kChecksumFailed;
    }
    checksum = static_cast<int>(sum + header.byteSum);
    TFLOG("imgFileChecksum:0x%0x", static_cast<unsigned>(checksum));
    return result;
}
