// SPDX-License-Identifier: Apache-2.0
// ZstdCodec: optional zstd compression of a record's body, present when the build found libzstd.
#pragma once

#include "FrameSetCodec.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace orvane::cli::record {

/// Compresses bodies for the writer thread and expands them for the reader. One instance per thread: it
/// keeps its zstd contexts between records.
class ZstdCodec
{
public:
    ZstdCodec();
    ~ZstdCodec();
    ZstdCodec(const ZstdCodec &) = delete;
    ZstdCodec &operator=(const ZstdCodec &) = delete;
    ZstdCodec(ZstdCodec &&) noexcept;
    ZstdCodec &operator=(ZstdCodec &&) noexcept;

    /// Whether this build can write and read compressed records.
    static bool IsAvailable();

    /// Replaces `out` with one zstd frame of the pieces (`totalSize` bytes together) at `level`.
    /// False, with the reason in `error`, when compression fails or is not built in.
    bool Compress(const std::vector<BytePiece> &pieces, size_t totalSize, int level,
                  std::vector<uint8_t> &out, std::string &error);

    /// Expands one zstd frame that must hold exactly `expectedSize` bytes (checked before allocating).
    bool Decompress(const uint8_t *data, size_t size, size_t expectedSize, std::vector<uint8_t> &out,
                    std::string &error);

private:
    struct Contexts;
    std::unique_ptr<Contexts> m_contexts;
};

} // namespace orvane::cli::record
