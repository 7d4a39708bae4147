// SPDX-License-Identifier: Apache-2.0
// A page's control message (set a setting, pause or resume streams): bounded, parsed and checked before
// anything acts on it. Settings are named and checked by the same table as `orvane-cli set`.
#include "ControlMessage.h"

#include "SettingValue.h"

namespace orvane::cli {

int ControlMessage::Depth(std::string_view text)
{
    int depth = 0;
    int deepest = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
            continue;
        }
        if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            deepest = std::max(deepest, ++depth);
        } else if (c == '}' || c == ']') {
            --depth;
        }
    }
    return deepest;
}

ControlVerdict ControlMessage::Parse(std::string_view text, bool allowControl)
{
    ControlVerdict verdict;
    if (text.size() > kMaxBytes) {
        verdict.error = "message longer than " + std::to_string(kMaxBytes) + " bytes";
        verdict.closeConnection = true;
        return verdict;
    }
    if (Depth(text) > kMaxDepth) {
        verdict.error = "message nested deeper than " + std::to_string(kMaxDepth) + " levels";
        return verdict;
    }
    const nlohmann::json message = nlohmann::json::parse(text, nullptr, false);
    if (message.is_discarded()) {
        verdict.error = "not JSON";
        return verdict;
    }
    if (!message.is_object()) {
        verdict.error = "not a JSON object";
        return verdict;
    }
    const auto type = message.find("type");
    if (type == message.end() || !type->is_string()) {
        verdict.error = "no \"type\" string";
        return verdict;
    }
    if (const auto id = message.find("id"); id != message.end()) {
        // 1.0 is not an id: only whole numbers as written.
        if (!id->is_number_integer() || *id < 0 || *id > kMaxId) {
            verdict.error = "\"id\" is not an integer from 0 to " + std::to_string(kMaxId);
            return verdict;
        }
        verdict.id = id->get<int64_t>();
    }
    const std::string &name = type->get_ref<const std::string &>();
    if (name == "set") {
        verdict.answerWithAck = true;
        ParseSet(message, allowControl, verdict);
    } else if (name == "pause" || name == "resume") {
        verdict.answerWithAck = true;
        ParseStreams(message, verdict);
        if (verdict.request) {
            verdict.request->type =
                name == "pause" ? ControlRequest::Type::kPause : ControlRequest::Type::kResume;
        }
    } else {
        verdict.error = "unknown message type \"" + name.substr(0, 40) + "\"";
        return verdict;
    }
    if (verdict.request) {
        verdict.request->id = verdict.id;
    }
    return verdict;
}

void ControlMessage::ParseSet(const nlohmann::json &message, bool allowControl, ControlVerdict &verdict)
{
    if (!allowControl) {
        verdict.error = kControlNotAllowed;
        return;
    }
    const auto name = message.find("name");
    if (name == message.end() || !name->is_string()) {
        verdict.error = "set: no \"name\" string";
        return;
    }
    const auto value = message.find("value");
    if (value == message.end()) {
        verdict.error = "set: no \"value\"";
        return;
    }
    const SettingRow *row = SettingsTable::Find(name->get<std::string>());
    if (row == nullptr) {
        verdict.error = "set: no setting named \"" + name->get<std::string>().substr(0, 40) + "\"";
        return;
    }
    std::string error;
    std::optional<nlohmann::json> checked = SettingValue::FromJson(*row, *value, error);
    if (!checked) {
        verdict.error = std::string("set ") + row->name + ": " + error +
                        " (valid: " + SettingValue::RangeText(*row) + ")";
        return;
    }
    ControlRequest request;
    request.type = ControlRequest::Type::kSet;
    request.row = row;
    request.value = std::move(*checked);
    verdict.request = std::move(request);
}

void ControlMessage::ParseStreams(const nlohmann::json &message, ControlVerdict &verdict)
{
    const auto streams = message.find("streams");
    if (streams == message.end() || !streams->is_array()) {
        verdict.error = "no \"streams\" array";
        return;
    }
    ControlRequest request;
    for (const nlohmann::json &entry : *streams) {
        bool known = false;
        for (size_t i = 0; i < kViewStreamCount && entry.is_string(); ++i) {
            const auto stream = static_cast<ViewStream>(i);
            if (entry.get_ref<const std::string &>() == ViewStreamName(stream)) {
                request.streams.push_back(stream);
                known = true;
            }
        }
        if (!known) {
            verdict.error = "not a stream: " + entry.dump().substr(0, 40) + " (depth, ir, confidence, color)";
            return;
        }
    }
    verdict.request = std::move(request);
}

} // namespace orvane::cli
