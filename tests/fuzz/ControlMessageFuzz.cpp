// SPDX-License-Identifier: Apache-2.0
// Fuzz target for the viewer's control messages: any text from a page, with control allowed or not. The
// promise: a refused message never reaches the setter, a set without control is always refused, and an
// accepted value is one the settings table itself accepts unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "ControlMessage.h"
#include "SettingValue.h"

using orvane::cli::ControlMessage;
using orvane::cli::ControlRequest;
using orvane::cli::ControlVerdict;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    const bool allowControl = (data[0] & 1) != 0;
    const std::string_view text(reinterpret_cast<const char *>(data + 1), size - 1);
    const ControlVerdict verdict = ControlMessage::Parse(text, allowControl);
    if (!verdict.request) {
        if (verdict.error.empty()) {
            std::abort(); // a refusal always says why
        }
        return 0;
    }
    // Accepted: the checks below stand for the setter the server would call.
    const ControlRequest &request = *verdict.request;
    if (text.size() > ControlMessage::kMaxBytes || verdict.closeConnection || !verdict.error.empty()) {
        std::abort();
    }
    if (request.id && (*request.id < 0 || *request.id > ControlMessage::kMaxId)) {
        std::abort();
    }
    if (request.type == ControlRequest::Type::kSet) {
        if (!allowControl || request.row == nullptr) {
            std::abort();
        }
        std::string error;
        const auto again = orvane::cli::SettingValue::FromJson(*request.row, request.value, error);
        if (!again || *again != request.value) {
            std::abort(); // the value handed to the setter is canonical and in range
        }
    }
    return 0;
}
