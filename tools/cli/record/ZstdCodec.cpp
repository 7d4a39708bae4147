// SPDX-License-Identifier: Apache-2.0
// ZstdCodec: zstd's streaming compressor over a body's pieces, and its one-shot decompressor.
#include "ZstdCodec.h"

#ifdef ORVANE_HAVE_ZSTD
#include <zstd.h>
#endif

namespace orvane::cli::record {

#ifdef ORVANE_HAVE_ZSTD

struct ZstdCodec::Contexts
{
    ZSTD_CCtx *compress = nullptr;
    ZSTD_DCtx *decompress = nullptr;
    ~Contexts()
    {
        ZSTD_freeCCtx(compress);
        ZSTD_freeDCtx(decompress);
    }
};

ZstdCodec::ZstdCodec() : m_contexts(std::make_unique<Contexts>())
{
}

bool ZstdCodec::IsAvailable()
{
    return true;
}

bool ZstdCodec::Compress(const std::vector<BytePiece> &pieces, size_t totalSize, int level,
                         std::vector<uint8_t> &out, std::string &error)
{
    if (m_contexts->compress == nullptr) {
        m_contexts->compress = ZSTD_createCCtx();
    }
    ZSTD_CCtx *context = m_contexts->compress;
    if (context == nullptr) {
        error = "zstd could not allocate its compressor";
        return false;
    }
    ZSTD_CCtx_reset(context, ZSTD_reset_session_only);
    ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, level);
    ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, 0);
    ZSTD_CCtx_setPledgedSrcSize(context, totalSize);
    out.resize(ZSTD_compressBound(totalSize));
    ZSTD_outBuffer output{out.data(), out.size(), 0};
    for (size_t i = 0; i <= pieces.size(); ++i) {
        const bool last = i == pieces.size();
        ZSTD_inBuffer input{last ? nullptr : pieces[i].data, last ? 0 : pieces[i].size, 0};
        const ZSTD_EndDirective mode = last ? ZSTD_e_end : ZSTD_e_continue;
        size_t left = 0;
        do {
            left = ZSTD_compressStream2(context, &output, &input, mode);
            if (ZSTD_isError(left) != 0u) {
                error = std::string("zstd: ") + ZSTD_getErrorName(left);
                return false;
            }
        } while (last ? left != 0 : input.pos < input.size);
    }
    out.resize(output.pos);
    return true;
}

bool ZstdCodec::Decompress(const uint8_t *data, size_t size, size_t expectedSize, std::vector<uint8_t> &out,
                           std::string &error)
{
    const unsigned long long declared = ZSTD_getFrameContentSize(data, size);
    if (declared != expectedSize) {
        error =
            "a compressed body whose frame does not declare its " + std::to_string(expectedSize) + " bytes";
        return false;
    }
    if (m_contexts->decompress == nullptr) {
        m_contexts->decompress = ZSTD_createDCtx();
    }
    if (m_contexts->decompress == nullptr) {
        error = "zstd could not allocate its decompressor";
        return false;
    }
    out.resize(expectedSize);
    const size_t got = ZSTD_decompressDCtx(m_contexts->decompress, out.data(), out.size(), data, size);
    if (ZSTD_isError(got) != 0u || got != expectedSize) {
        error = ZSTD_isError(got) != 0u ? std::string("zstd: ") + ZSTD_getErrorName(got)
                                        : "a compressed body of " + std::to_string(got) + " bytes, not " +
                                              std::to_string(expectedSize);
        return false;
    }
    return true;
}

#else

struct ZstdCodec::Contexts
{
};

ZstdCodec::ZstdCodec() = default;

bool ZstdCodec::IsAvailable()
{
    return false;
}

bool ZstdCodec::Compress(const std::vector<BytePiece> &, size_t, int, std::vector<uint8_t> &,
                         std::string &error)
{
    error = "this build has no zstd: record without compression";
    return false;
}

bool ZstdCodec::Decompress(const uint8_t *, size_t, size_t, std::vector<uint8_t> &, std::string &error)
{
    error = "the record is compressed with zstd, which this build does not have";
    return false;
}

#endif

ZstdCodec::~ZstdCodec() = default;
ZstdCodec::ZstdCodec(ZstdCodec &&) noexcept = default;
ZstdCodec &ZstdCodec::operator=(ZstdCodec &&) noexcept = default;

} // namespace orvane::cli::record
