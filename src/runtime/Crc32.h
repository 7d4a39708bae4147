// SPDX-License-Identifier: Apache-2.0
// Crc32: the CRC-32 (reflected 0xEDB88320 polynomial, as in zip and Ethernet) that guards file records.
#pragma once

#include <cstddef>
#include <cstdint>

/// The CRC-32 of `size` bytes at `data`, continued from `crc` (0 to start; pass a previous result on to
/// cover several pieces as one run of bytes).
uint32_t Crc32(const void *data, size_t size, uint32_t crc = 0);
