// SPDX-License-Identifier: Apache-2.0
// `info`'s text: aligned "name: value" lines, nested records flattened, and what the camera could not
// report shown with its status instead of ending the listing.
#include <gtest/gtest.h>

#include "InfoCommand.h"

namespace orvane::cli {
namespace {

TEST(InfoFormat, AlignsFlattensAndShowsWhatIsUnsupported)
{
    const auto info = nlohmann::ordered_json::parse(R"({
        "uri": "KR52Lite:SN1",
        "data-modes": [0, 2, 9],
        "mac-address": {"unsupported": "TF_ERROR_TRANSPORT"},
        "frame-modes": {"depth": {"width": 640, "height": 480}, "color": {"unsupported": "TF_ERROR_OTHER"}},
        "extrinsics": {"translation-mm": [-25.0, 0.0, 0.0]},
        "filters": {"spatial-filter": {"enable": 1}, "time-filter": false}
    })");
    EXPECT_EQ(InfoCommand::Format(info), "uri:                    KR52Lite:SN1\n"
                                         "data-modes:             0, 2, 9\n"
                                         "mac-address:            unsupported (TF_ERROR_TRANSPORT)\n"
                                         "frame-modes.depth:      width=640 height=480\n"
                                         "frame-modes.color:      unsupported (TF_ERROR_OTHER)\n"
                                         "extrinsics:             translation-mm=[-25.0, 0.0, 0.0]\n"
                                         "filters.spatial-filter: enable=1\n"
                                         "filters.time-filter:    off");
}

} // namespace
} // namespace orvane::cli
