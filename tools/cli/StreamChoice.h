// SPDX-License-Identifier: Apache-2.0
// The streams a command line can name (depth, ir, confidence, color): their frame types, and switching
// the camera's output to exactly the chosen ones.
#pragma once

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "Orvane_api.h"

namespace orvane::cli {

struct StreamKind
{
    const char *name;                    // as the command line and the output spell it
    TfFrameType type;                    // the frame type TFCM_GetFrame hands out
    int (*enable)(TfDeviceHandle, bool); // the switch of its output
};

class StreamChoice
{
public:
    /// Every stream, in the order output lists them.
    static const std::vector<StreamKind> &All();
    /// The stream of this name or frame type, or null.
    static const StreamKind *Find(const std::string &name);
    static const StreamKind *ForType(uint32_t frameType);
    /// The name of any frame type: a stream's, "color-to-depth", "depth-to-color", "ir-to-color" for the
    /// mapped images, or "type N".
    static std::string NameOf(uint32_t frameType);
    /// Refuses names that are not streams (for --streams).
    static CLI::Validator Names();
    /// Switches the output of each stream on when `chosen` names it and off otherwise. TF_OK, or the
    /// first failure to switch a chosen stream on, with `failed` naming it.
    static int Apply(TfDeviceHandle device, const std::vector<std::string> &chosen, std::string &failed);
    /// The chosen streams in output order, without repeats.
    static std::vector<const StreamKind *> Ordered(const std::vector<std::string> &chosen);
};

} // namespace orvane::cli
