// SPDX-License-Identifier: Apache-2.0
// SimFirmwareImage: building, writing and checking firmware images.
#include "SimFirmwareImage.h"

#include "runtime/ByteReader.h"

#include <algorithm>
#include <cctype>
#include <fstream>

namespace {

constexpr size_t kDateAt = 2;
constexpr size_t kDateChars = 8;
constexpr size_t kSubVersionAt = 11;
constexpr size_t kLengthAt = 12;
constexpr size_t kSumAt = 20;
constexpr const char *kVersionPrefix = "KR52_V2.3.7_";

bool EightDigits(const std::string &date)
{
    return date.size() == kDateChars &&
           std::all_of(date.begin(), date.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

} // namespace

uint32_t SimFirmwareImage::Sum(const uint8_t *data, size_t size)
{
    uint32_t sum = 0;
    for (size_t i = 0; i < size; ++i) {
        sum += data[i];
    }
    return sum;
}

std::vector<uint8_t> SimFirmwareImage::Build(const std::string &date, uint8_t subVersion, size_t totalBytes)
{
    std::vector<uint8_t> image(std::max(totalBytes, kHeaderBytes), 0);
    for (size_t i = kHeaderBytes; i < image.size(); ++i) {
        image[i] = static_cast<uint8_t>((i * 131 + (i >> 8)) & 0xFF);
    }
    const uint32_t dataSum = Sum(image.data() + kHeaderBytes, image.size() - kHeaderBytes);
    ByteWriter header;
    header.WriteU8(kDeviceCode);
    header.WriteU8(kFlashType);
    header.WriteText(date.substr(0, kDateChars).c_str(), kDateChars + 1);
    header.WriteU8(subVersion);
    header.WriteU64Le(image.size());
    header.WriteU32Le(dataSum);
    const std::vector<uint8_t> &bytes = header.Bytes();
    std::copy(bytes.begin(), bytes.end(), image.begin());
    // The uninterpreted rest of the header still counts in the whole-file checksum.
    for (size_t i = bytes.size(); i < kHeaderBytes; ++i) {
        image[i] = static_cast<uint8_t>(i);
    }
    return image;
}

bool SimFirmwareImage::WriteFile(const std::string &path, const std::string &date, uint8_t subVersion,
                                 uint64_t totalBytes, std::string &error)
{
    if (!EightDigits(date)) {
        error = "the date must be eight digits YYYYMMDD, got '" + date + "'";
        return false;
    }
    if (totalBytes < kHeaderBytes || totalBytes > (uint64_t{1} << 31) - 1) {
        error = "the size must be " + std::to_string(kHeaderBytes) + " to 2147483647 bytes";
        return false;
    }
    const std::vector<uint8_t> image = Build(date, subVersion, static_cast<size_t>(totalBytes));
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char *>(image.data()), static_cast<std::streamsize>(image.size()));
    file.close();
    if (!file) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

bool SimFirmwareImage::ReadHeader(const std::vector<uint8_t> &image, Header &out)
{
    if (image.size() < kHeaderBytes) {
        return false;
    }
    ByteReader reader(image.data(), kHeaderBytes);
    out.deviceCode = reader.ReadU8();
    out.flashType = reader.ReadU8();
    const auto *date = reinterpret_cast<const char *>(image.data() + kDateAt);
    out.date.assign(date, std::find(date, date + kDateChars, '\0'));
    ByteReader rest(image.data() + kSubVersionAt, kHeaderBytes - kSubVersionAt);
    out.subVersion = rest.ReadU8();
    out.fileBytes = rest.ReadU64Le();
    out.dataSum = rest.ReadU32Le();
    static_assert(kSubVersionAt + 1 == kLengthAt && kLengthAt + 8 == kSumAt, "header layout");
    return true;
}

bool SimFirmwareImage::Check(const std::vector<uint8_t> &image, std::string &error)
{
    Header header;
    if (!ReadHeader(image, header)) {
        error = "image of " + std::to_string(image.size()) + " bytes has no header";
        return false;
    }
    const uint32_t dataSum = Sum(image.data() + kHeaderBytes, image.size() - kHeaderBytes);
    if (header.deviceCode != kDeviceCode || header.flashType != kFlashType) {
        error = "device code " + std::to_string(header.deviceCode) + ", flash type " +
                std::to_string(header.flashType);
    } else if (!EightDigits(header.date)) {
        error = "build date '" + header.date + "' is not eight digits";
    } else if (header.fileBytes != image.size()) {
        error = "header length " + std::to_string(header.fileBytes) + " for " + std::to_string(image.size()) +
                " bytes";
    } else if (header.dataSum != dataSum) {
        error = "data sum " + std::to_string(dataSum) + " where the header says " +
                std::to_string(header.dataSum);
    } else {
        return true;
    }
    return false;
}

uint32_t SimFirmwareImage::WholeChecksum(const std::vector<uint8_t> &image)
{
    return Sum(image.data(), image.size());
}

std::string SimFirmwareImage::VersionText(const Header &header)
{
    return kVersionPrefix + header.date + "_V" + std::to_string(header.subVersion);
}
