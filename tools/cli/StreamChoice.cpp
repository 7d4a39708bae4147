// SPDX-License-Identifier: Apache-2.0
// The streams a command line can name (depth, ir, confidence, color): their frame types, and switching
// the camera's output to exactly the chosen ones.
#include "StreamChoice.h"

#include <algorithm>

namespace orvane::cli {

const std::vector<StreamKind> &StreamChoice::All()
{
    static const std::vector<StreamKind> kStreams = {
        {"depth", TF_FRAME_DEPTH, &TFCM_SetDepthFrameEnabled},
        {"ir", TF_FRAME_IR, &TFCM_SetIrFrameEnabled},
        {"confidence", TF_FRAME_CONFIDENCE, &TFCM_SetConfidenceFrameEnabled},
        {"color", TF_FRAME_COLOR, &TFCM_SetColorFrameEnabled},
    };
    return kStreams;
}

const StreamKind *StreamChoice::Find(const std::string &name)
{
    for (const StreamKind &kind : All()) {
        if (name == kind.name) {
            return &kind;
        }
    }
    return nullptr;
}

const StreamKind *StreamChoice::ForType(uint32_t frameType)
{
    for (const StreamKind &kind : All()) {
        if (frameType == static_cast<uint32_t>(kind.type)) {
            return &kind;
        }
    }
    return nullptr;
}

std::string StreamChoice::NameOf(uint32_t frameType)
{
    if (const StreamKind *kind = ForType(frameType)) {
        return kind->name;
    }
    switch (frameType) {
    case TF_FRAME_COLOR_MAPPED_TO_DEPTH:
        return "color-to-depth";
    case TF_FRAME_DEPTH_MAPPED_TO_COLOR:
        return "depth-to-color";
    case TF_FRAME_IR_MAPPED_TO_COLOR:
        return "ir-to-color";
    default:
        return "type " + std::to_string(frameType);
    }
}

CLI::Validator StreamChoice::Names()
{
    return CLI::Validator(
        [](std::string &name) {
            return Find(name) != nullptr ? std::string()
                                         : "not a stream: " + name + " (depth, ir, confidence, color)";
        },
        "STREAM");
}

int StreamChoice::Apply(TfDeviceHandle device, const std::vector<std::string> &chosen, std::string &failed)
{
    for (const StreamKind &kind : All()) {
        // A stream not chosen that cannot be switched off (a camera without colour, say) is no failure.
        const bool on = std::find(chosen.begin(), chosen.end(), kind.name) != chosen.end();
        if (const int status = kind.enable(device, on); status != TF_OK && on) {
            failed = std::string("enabling ") + kind.name;
            return status;
        }
    }
    return TF_OK;
}

std::vector<const StreamKind *> StreamChoice::Ordered(const std::vector<std::string> &chosen)
{
    std::vector<const StreamKind *> ordered;
    for (const StreamKind &kind : All()) {
        if (std::find(chosen.begin(), chosen.end(), kind.name) != chosen.end()) {
            ordered.push_back(&kind);
        }
    }
    return ordered;
}

} // namespace orvane::cli
