// SPDX-License-Identifier: Apache-2.0
// A page's control message (set a setting, pause or resume streams): bounded, parsed and checked before
// anything acts on it. Settings are named and checked by the same table as `orvane-cli set`.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "FrameHeader.h"
#include "SettingsTable.h"

namespace orvane::cli {

struct ControlRequest
{
    enum class Type
    {
        kSet,
        kPause,
        kResume,
    };
    Type type = Type::kSet;
    std::optional<int64_t> id;       // echoed in the answer when the page gave one
    const SettingRow *row = nullptr; // kSet: the setting
    nlohmann::json value;            // kSet: the value, checked, in its canonical form
    std::vector<ViewStream> streams; // kPause, kResume
};

/// The outcome of one message: a request to act on, or a refusal saying how to answer it.
struct ControlVerdict
{
    std::optional<ControlRequest> request; // set only when the message is accepted
    std::string error;                     // why it was refused
    /// A refusal answered with an ack (a known type with a usable id) rather than an error message.
    bool answerWithAck = false;
    std::optional<int64_t> id;
    /// The message exceeded the size bound: the connection is closed (status 1009).
    bool closeConnection = false;
};

class ControlMessage
{
public:
    static constexpr size_t kMaxBytes = 4096;
    static constexpr int kMaxDepth = 4; // the message object counts as 1
    static constexpr int64_t kMaxId = 0x7FFFFFFF;
    static constexpr const char *kControlNotAllowed =
        "control not allowed (start the viewer with --allow-control)";

    /// Checks one text message; a set is accepted only when `allowControl`.
    static ControlVerdict Parse(std::string_view text, bool allowControl);

private:
    /// The deepest nesting of arrays and objects, counted outside strings.
    static int Depth(std::string_view text);
    static void ParseSet(const nlohmann::json &message, bool allowControl, ControlVerdict &verdict);
    static void ParseStreams(const nlohmann::json &message, ControlVerdict &verdict);
};

} // namespace orvane::cli
