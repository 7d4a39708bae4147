// SPDX-License-Identifier: Apache-2.0
// The camera's command set: how a setting changes the settings model and what a query answers.
#pragma once

#include "SimSettings.h"

#include <cstdint>
#include <vector>

/// Stateless translation between command payloads and SimSettings (the model is described there).
/// Payloads shorter than a command expects read as if zero-filled; nothing outside them is read.
class SimCommandSet
{
public:
    /// Applies the setting `id` (bit 7 clear). False, with a log line, when the camera does not
    /// understand it; the settings are then unchanged.
    static bool ApplySetting(SimSettings &settings, uint8_t id, const std::vector<uint8_t> &payload);

    /// The reply data answering the query `command` (bit 7 set). A query the camera does not know is
    /// answered with its own payload, so that the asker's buffer keeps what it sent.
    static std::vector<uint8_t> AnswerQuery(const SimSettings &settings, uint8_t command,
                                            const std::vector<uint8_t> &payload);

    static constexpr uint8_t kQueryBit = 0x80;
    static constexpr uint8_t kHeartbeat = 0x9C;
};
