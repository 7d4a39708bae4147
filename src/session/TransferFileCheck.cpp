// SPDX-License-Identifier: Apache-2.0
// TransferFileCheck: the size and byte sum of a host file before it is sent to the camera.
#include "session/TransferFileCheck.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "runtime/LogCustom.h"
#include "session/SessionModeLists.h"

namespace {
/// Bytes a transfer file of a pixel table holds: 640 x 480 values of 16 bits.
constexpr uint32_t kPixelTableFileBytes = 614400;
} // namespace

bool TransferFileCheck::CheckTransferFile(FileTransferParams &params)
{
    if (std::memchr(params.name, '\0', sizeof(params.name)) == nullptr) {
        TFLOG("name is not terminated.");
        return false;
    }
    std::unique_ptr<FILE, int (*)(FILE *)> file(std::fopen(params.name, "rb"), &std::fclose);
    if (!file) {
        TFLOG("open name:%s is failed.", params.name);
        return false;
    }
    std::fseek(file.get(), 0, SEEK_END);
    const long sizeBytes = std::ftell(file.get());
    std::fseek(file.get(), 0, SEEK_SET);
    params.value = static_cast<uint32_t>(sizeBytes < 0 ? 0 : sizeBytes);
    const long required = static_cast<long>(RequiredBytes(params.type, params.index));
    if (required == 0) {
        TFLOG("fileTransferParams.type:%d is invalid.", static_cast<int>(params.type));
    }
    if (sizeBytes != required) {
        TFLOG("The length of file is %d != %d invalid.", static_cast<int>(sizeBytes),
              static_cast<int>(required));
        return false;
    }
    uint8_t sum = 0;
    uint8_t chunk[4096];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof(chunk), file.get())) > 0) {
        for (size_t i = 0; i < got; ++i) {
            sum = static_cast<uint8_t>(sum + chunk[i]);
        }
    }
    params.flag = sum;
    return true;
}

uint32_t TransferFileCheck::RequiredBytes(uint32_t type, uint8_t index)
{
    switch (type) {
    case 4:
    case 5:
    case 7:
        return kPixelTableFileBytes;
    case 6:
        return 2u * static_cast<uint32_t>(SessionModeLists::GetSonyMaxDepth(index)) + 2u;
    default:
        return 0;
    }
}
