// SPDX-License-Identifier: Apache-2.0
// The one copy of a record across the C boundary: an internal record and its public twin, or a record
// and the caller's untyped buffer.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <type_traits>

/// The bytes a record copy moves: the typed side's size; two typed sides must have the same size.
template <typename To, typename From> constexpr size_t RecordBytes()
{
    static_assert(!std::is_void_v<To> || !std::is_void_v<From>, "one side must be a typed record");
    if constexpr (std::is_void_v<To>) {
        return sizeof(From);
    } else if constexpr (std::is_void_v<From>) {
        return sizeof(To);
    } else {
        static_assert(sizeof(To) == sizeof(From), "a record and its twin have one layout");
        return sizeof(To);
    }
}

/// Copies the record at `from` to `to`, reading at most `available` bytes of `from` (a caller's short
/// value is never read past its end; the rest of `to` keeps what it held). The records are plain bytes
/// (packed public records, their internal twins), never objects with behaviour.
template <typename To, typename From>
void CopyRecord(To *to, const From *from, size_t available = std::numeric_limits<size_t>::max())
{
    static_assert(std::is_void_v<To> || std::is_trivially_copyable_v<To>, "records are plain bytes");
    static_assert(std::is_void_v<From> || std::is_trivially_copyable_v<From>, "records are plain bytes");
    std::memcpy(to, from, std::min(RecordBytes<To, From>(), available));
}
