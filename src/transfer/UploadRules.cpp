// SPDX-License-Identifier: Apache-2.0
// UploadRules: the checks of one uploaded chunk, its saved name and its offset.
#include "transfer/UploadRules.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "runtime/LogCustom.h"

namespace {

/// Parses an unsigned integer the whole of `text` holds (base prefixes when `base` is 0).
bool ParseNumber(const std::string &text, int base, uint64_t &value)
{
    if (text.empty() || text[0] == '-' || text[0] == '+') {
        return false;
    }
    errno = 0;
    char *end = nullptr;
    const unsigned long long parsed = std::strtoull(text.c_str(), &end, base);
    if (errno != 0 || end == nullptr || *end != '\0') {
        return false;
    }
    value = parsed;
    return true;
}

std::string Format(const char *format, const std::string &path, long long a, long long b)
{
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, format, path.c_str(), a, b);
    return buffer;
}

UploadDecision Refuse(std::string body, std::string path = {})
{
    UploadDecision d;
    d.status = 400;
    d.body = std::move(body);
    d.path = std::move(path);
    return d;
}

} // namespace

std::string UploadRules::SavedName(const std::string &expected, const std::string &tag)
{
    std::string name = expected;
    if (!tag.empty()) {
        const std::string marker = "_" + tag;
        const size_t at = name.find(marker);
        if (at != std::string::npos) {
            name.erase(at, marker.size());
        }
    }
    const bool plain = !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
                       name.find('\\') == std::string::npos;
    return plain ? name : std::string();
}

uint32_t UploadRules::Checksum(const uint8_t *data, size_t size)
{
    uint32_t sum = 0;
    for (size_t i = 0; i < size; ++i) {
        sum += data[i];
    }
    return sum & 0xFFu;
}

UploadDecision UploadRules::Decide(const UploadFileParams &params, const UploadRequest &request,
                                   uint64_t bodyBytes, uint32_t bodySum, uint64_t currentBytes)
{
    TFLOG("name:%s,fileDatalenStr:%s,checkSumStr:%s", request.name.c_str(), request.fileDatalength.c_str(),
          request.checksum.c_str());
    if (request.name.empty() || request.name != params.expectedName) {
        TFLOG("expect file name:%s", params.expectedName.c_str());
        return Refuse("name required");
    }
    const std::string saved = SavedName(params.expectedName, params.nameTag);
    const std::string path = params.saveDir + saved;
    if (saved.empty() || path.size() > kMaxPathBytes) {
        TFLOG("expect file name:%s", params.expectedName.c_str());
        return Refuse("name required");
    }
    uint64_t declared = 0;
    if (!ParseNumber(request.fileDatalength, 10, declared) || declared != bodyBytes) {
        TFLOG("file:%s check is failed. fileLength:%d, %d .", path.c_str(), static_cast<int>(declared),
              static_cast<int>(bodyBytes));
        return Refuse(Format("check (%s) failed: %lld %lld", path, static_cast<long long>(declared),
                             static_cast<long long>(bodyBytes)),
                      path);
    }
    uint64_t checksum = 0;
    if (!ParseNumber(request.checksum, 10, checksum) || (checksum & 0xFFu) != (bodySum & 0xFFu)) {
        TFLOG("file:%s check is failed. checksum:%d, %d.", path.c_str(), static_cast<int>(checksum),
              static_cast<int>(bodySum));
        return Refuse(Format("check (%s) failed: %lld %lld", path, static_cast<long long>(checksum),
                             static_cast<long long>(bodySum)),
                      path);
    }
    uint64_t offset = 0;
    const bool offsetOk = ParseNumber(request.offset.empty() ? "0" : request.offset, 0, offset);
    const uint64_t end = offset + bodyBytes;
    if (!offsetOk || bodyBytes > kMaxChunkBytes || (offset != 0 && offset > currentBytes) ||
        (params.maxFileBytes != 0 && end > params.maxFileBytes)) {
        TFLOG("file:%s check is failed. offset:%llu, %llu.", path.c_str(),
              static_cast<unsigned long long>(offset), static_cast<unsigned long long>(currentBytes));
        return Refuse(Format("check (%s) failed: %lld %lld", path, static_cast<long long>(offset),
                             static_cast<long long>(currentBytes)),
                      path);
    }
    UploadDecision d;
    d.status = 200;
    d.path = path;
    d.offset = offset;
    d.body = std::to_string(bodyBytes);
    return d;
}
