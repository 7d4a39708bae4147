// SPDX-License-Identifier: Apache-2.0
// Fuzz target for the HTTP server's upload checks: query variables, the expected name and its tag, chunk
// lengths, checksums and offsets against the file's current size and its type's limit.
#include <cstddef>
#include <cstdint>

#include "FuzzInput.h"
#include "transfer/UploadRules.h"

/// Input: body length (3 bytes), body sum, current size (4), limit (4), then NUL-separated texts: name,
/// offset, length, checksum, expected name, tag, save directory.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const uint64_t bodyBytes = in.Number(3);
    const uint32_t bodySum = in.Byte();
    const uint64_t currentBytes = in.Number(4);
    const uint64_t limit = in.Number(4);
    UploadRequest request;
    request.name = in.Text();
    request.offset = in.Text();
    request.fileDatalength = in.Text();
    request.checksum = in.Text();
    UploadFileParams params;
    params.expectedName = in.Text();
    params.nameTag = in.Text();
    params.saveDir = in.Text();
    params.maxFileBytes = limit;

    const std::string saved = UploadRules::SavedName(params.expectedName, params.nameTag);
    // A saved name is a plain one, never a path.
    Require(saved.empty() ||
            (saved != "." && saved != ".." && saved.find_first_of("/\\") == std::string::npos));
    Require(saved.size() <= params.expectedName.size());

    const UploadDecision d = UploadRules::Decide(params, request, bodyBytes, bodySum, currentBytes);
    Require(d.status == 200 || d.status == 400);
    if (d.status != 200) {
        return 0;
    }
    // An accepted chunk: the expected, well-named file, a declared length and sum that match the body, a
    // place within the file as it is and within its limit.
    Require(request.name == params.expectedName && !saved.empty());
    Require(d.path == params.saveDir + saved && d.path.size() <= UploadRules::kMaxPathBytes);
    Require(std::strtoull(request.fileDatalength.c_str(), nullptr, 10) == bodyBytes);
    Require((std::strtoull(request.checksum.c_str(), nullptr, 10) & 0xFF) == bodySum);
    Require(bodyBytes <= UploadRules::kMaxChunkBytes);
    Require(d.offset <= currentBytes);
    Require(limit == 0 || d.offset + bodyBytes <= limit);
    Require(d.body == std::to_string(bodyBytes));
    return 0;
}
