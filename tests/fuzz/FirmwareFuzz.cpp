// SPDX-License-Identifier: Apache-2.0
// Fuzz target for the firmware image checks: the camera's version text and the image file, written to
// one temporary file per run and checked as the upgrade checks it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "FuzzInput.h"
#include "upgrade/FirmwareImage.h"

namespace {

class TempImage
{
public:
    TempImage() : m_path("/tmp/firmware_fuzz_" + std::to_string(getpid()) + ".bin") {}
    ~TempImage() { std::remove(m_path.c_str()); }
    const std::string &Write(const uint8_t *data, size_t size)
    {
        FILE *file = std::fopen(m_path.c_str(), "wb");
        Require(file != nullptr);
        Require(size == 0 || std::fwrite(data, 1, size, file) == size);
        std::fclose(file);
        return m_path;
    }

private:
    std::string m_path;
};

uint32_t Sum(const uint8_t *data, size_t size)
{
    uint32_t sum = 0;
    for (size_t i = 0; i < size; ++i) {
        sum += data[i];
    }
    return sum;
}

} // namespace

/// Input: device type offset (one byte, 516 + value % 10), the camera's version text up to a NUL, the image.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static TempImage temp;
    FuzzInput in(data, size);
    const uint32_t deviceType = 516 + in.Byte() % 10;
    const std::string version = in.Text();
    const size_t consumed = std::min(size, 1 + version.size() + 1);
    const uint8_t *image = data + consumed;
    const size_t imageBytes = size - consumed;

    FirmwareImage::Version parsed;
    const bool known = FirmwareImage::ParseCameraVersion(version.c_str(), parsed);
    Require(!known ||
            (parsed.DateNumber() >= 0 && parsed.DateNumber() <= 99999999 && parsed.subVersion >= 0));

    int fileLength = -7;
    int checksum = -7;
    const int result = FirmwareImage::Check(temp.Write(image, imageBytes).c_str(), version.c_str(),
                                            deviceType, fileLength, checksum);
    Require(result >= FirmwareImage::kChecksumFailed && result <= FirmwareImage::kSameSubVersion);
    if (result < 0) {
        // A refused image reports nothing.
        Require(result == FirmwareImage::kChecksumFailed || (fileLength == -7 && checksum == -7));
        Require(checksum == -7);
        return 0;
    }
    // An accepted image: a known camera version, a network camera's header, its whole length declared,
    // and the whole-file checksum the camera will verify.
    Require(known && deviceType >= 520 && deviceType <= 523);
    Require(imageBytes >= FirmwareImage::kHeaderBytes && image[0] == FirmwareImage::kNetworkDeviceCode &&
            image[1] == 0);
    Require(static_cast<size_t>(fileLength) == imageBytes);
    Require(static_cast<uint32_t>(checksum) == Sum(image, imageBytes));
    const uint8_t *stored = image + 20;
    const uint32_t dataSum =
        stored[0] | (stored[1] << 8) | (stored[2] << 16) | (static_cast<uint32_t>(stored[3]) << 24);
    Require(dataSum == Sum(image + FirmwareImage::kHeaderBytes, imageBytes - FirmwareImage::kHeaderBytes));
    return 0;
}
