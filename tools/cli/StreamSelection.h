// SPDX-License-Identifier: Apache-2.0
// StreamSelection: which of the camera's streams a subcommand works on (--streams depth,ir,confidence,color).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvane::cli {

class StreamSelection
{
public:
    /// All four streams.
    StreamSelection();

    /// Reads a comma-separated list of stream names; false, with the reason in `error`, for an unknown or
    /// empty one.
    bool Parse(const std::string &list, std::string &error);

    /// The chosen frame types (TfFrameType), in the order depth, IR, confidence, colour.
    const std::vector<uint32_t> &GetTypes() const { return m_types; }
    bool Has(uint32_t frameType) const;

    /// "depth", "ir", "confidence", "color", the mapped types' names, or "type N".
    static std::string Name(uint32_t frameType);

private:
    std::vector<uint32_t> m_types;
};

} // namespace orvane::cli
