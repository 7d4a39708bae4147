// SPDX-License-Identifier: Apache-2.0
// StreamSelection: stream names to frame types and back.
#include "StreamSelection.h"

#include <algorithm>
#include <sstream>

#include "Orvane_api.h"

namespace orvane::cli {
namespace {

struct NamedType
{
    const char *name;
    uint32_t type;
};

// The selectable streams first, in the order they are listed and recorded.
constexpr NamedType kNames[] = {
    {"depth", TF_FRAME_DEPTH},
    {"ir", TF_FRAME_IR},
    {"confidence", TF_FRAME_CONFIDENCE},
    {"color", TF_FRAME_COLOR},
    {"color-to-depth", TF_FRAME_COLOR_MAPPED_TO_DEPTH},
    {"depth-to-color", TF_FRAME_DEPTH_MAPPED_TO_COLOR},
    {"ir-to-color", TF_FRAME_IR_MAPPED_TO_COLOR},
};
constexpr size_t kSelectable = 4;

} // namespace

StreamSelection::StreamSelection()
{
    for (size_t i = 0; i < kSelectable; ++i) {
        m_types.push_back(kNames[i].type);
    }
}

bool StreamSelection::Parse(const std::string &list, std::string &error)
{
    std::vector<uint32_t> chosen;
    std::istringstream in(list);
    for (std::string name; std::getline(in, name, ',');) {
        const auto *end = kNames + kSelectable;
        const auto *found = std::find_if(kNames, end, [&](const NamedType &n) { return name == n.name; });
        if (found == end) {
            error = "unknown stream '" + name + "' (depth, ir, confidence, color)";
            return false;
        }
        chosen.push_back(found->type);
    }
    if (chosen.empty()) {
        error = "no stream chosen (depth, ir, confidence, color)";
        return false;
    }
    m_types.clear();
    for (size_t i = 0; i < kSelectable; ++i) {
        if (std::find(chosen.begin(), chosen.end(), kNames[i].type) != chosen.end()) {
            m_types.push_back(kNames[i].type);
        }
    }
    return true;
}

bool StreamSelection::Has(uint32_t frameType) const
{
    return std::find(m_types.begin(), m_types.end(), frameType) != m_types.end();
}

std::string StreamSelection::Name(uint32_t frameType)
{
    for (const NamedType &named : kNames) {
        if (named.type == frameType) {
            return named.name;
        }
    }
    return "type " + std::to_string(frameType);
}

} // namespace orvane::cli
