// SPDX-License-Identifier: Apache-2.0
// Fuzz target for the firmware image checks: the camera's version text and the image file, written to
// one temporary file per run and checked as the upgrade checks it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <string>
#include <unistd.h>

#include "FuzzInput.h"
#include "upgrade/FirmwareImage.h"

namespace {

/// The image, written to the run's one temporary file (removed when the fuzzer exits), as the upgrade
/// reads its image from a file.
const char *WriteImage(const uint8_t *data, size_t size)
{
    static const std::string path = "/tmp/firmware_fuzz_" + std::to_string(getpid()) + ".bin";
    static const int removal = std::atexit([] { std::remove(path.c_str()); });
    FILE *file = std::fopen(path.c_str(), "wb");
    Require(removal == 0 && file != nullptr);
    Require(size == 0 || std::fwrite(data, 1, size, file) == size);
    std::fclose(file);
    return path.c_str();
}

} // namespace

/// Input: device type offset (one byte, 516 + value % 10), the camera's version text up to a NUL, the image.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
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
    const int result = FirmwareImage::Check(WriteImage(image, imageBytes), version.c_str(), deviceType,
                                            fileLength, checksum);
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
    Require(static_cast<uint32_t>(checksum) == std::accumulate(image, image + imageBytes, 0u));
    const uint8_t *stored = image + 20;
    const uint32_t dataSum =
        stored[0] | (stored[1] << 8) | (stored[2] << 16) | (static_cast<uint32_t>(stored[3]) << 24);
    Require(dataSum == std::accumulate(image + FirmwareImage::kHeaderBytes, image + imageBytes, 0u));
    return 0;
}
