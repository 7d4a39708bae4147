// SPDX-License-Identifier: Apache-2.0
// UploadRules: what the built-in HTTP server accepts on "/upload" (one chunk of a calibration file per
// request) and where it writes it, decided without any I/O so that every refusal can be tested alone.
#pragma once

#include <cstdint>
#include <string>

/// What an upload must look like and where it goes. The camera sends `expectedName`; the file is saved
/// under `saveDir` with "_" + `nameTag` taken out of that name (the camera's serial number).
struct UploadFileParams
{
    std::string saveDir = ".";
    std::string expectedName;
    std::string nameTag;
    uint64_t maxFileBytes = 0; ///< the size the file's type allows; 0: no limit beyond the chunk's
};

/// The query variables of one upload request, as the camera sends them.
struct UploadRequest
{
    std::string name;
    std::string offset;         ///< integer, "0x" hexadecimal and leading "0" octal accepted
    std::string fileDatalength; ///< decimal length of this chunk
    std::string checksum;       ///< decimal sum of the chunk's bytes (its low 8 bits are compared)
};

/// The answer to one upload: the HTTP status and body, and for an accepted chunk where it goes.
struct UploadDecision
{
    int status = 400;
    std::string body;
    std::string path;    ///< the saved file's path (also named in refusals of a well-named chunk)
    uint64_t offset = 0; ///< where the chunk is written
};

class UploadRules
{
public:
    /// Largest chunk one request may carry.
    static constexpr uint64_t kMaxChunkBytes = 1u << 20;
    /// Longest path a saved file may have; a longer one is refused, never cut.
    static constexpr size_t kMaxPathBytes = 255;

    /// The saved file name: `expected` with exactly "_" + `tag` taken out, whatever the tag's length.
    /// Empty when the result is not a plain file name (empty, "/", "." or "..").
    static std::string SavedName(const std::string &expected, const std::string &tag);

    /// Decides one chunk of `bodyBytes` bytes summing to `bodySum` (mod 256), for a file that holds
    /// `currentBytes` bytes now. The chunk is written at its offset; an offset beyond the current end,
    /// a chunk above kMaxChunkBytes or a file growing past maxFileBytes is refused. Bodies: "name
    /// required", "check (%s) failed: %d %d", or "%d" (bytes written) for an accepted chunk.
    static UploadDecision Decide(const UploadFileParams &params, const UploadRequest &request,
                                 uint64_t bodyBytes, uint32_t bodySum, uint64_t currentBytes);

    /// The sum of `size` bytes modulo 256.
    static uint32_t Checksum(const uint8_t *data, size_t size);
};
