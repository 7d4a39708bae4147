// SPDX-License-Identifier: Apache-2.0
// How `stream` shows its statistics: a table redrawn in place on a terminal, one line per report
// otherwise, or one JSON record per report.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Orvane_api.h"
#include "StreamStats.h"

namespace orvane::cli {

/// One stream in a report: its own statistics and the library's drops of its kind (ToF or colour)
/// since the command began.
struct StreamRow
{
    std::string name;
    StreamSnapshot stats;
    TfDropCounts drops{};
};

class StreamReport
{
public:
    /// {"elapsed": s, "final": bool, "streams": {name: {...}}}: every figure of every stream.
    static nlohmann::json Record(double elapsedS, const std::vector<StreamRow> &rows, bool final);
    /// One line: the elapsed time, then rate, frames, gaps, library drops and latency per stream.
    static std::string Line(double elapsedS, const std::vector<StreamRow> &rows);
    /// The table: a header line and one line per stream, each ending in a newline.
    static std::string Table(double elapsedS, const std::vector<StreamRow> &rows);
    /// The table again over the one printed before it (`previousLines` lines up), for a terminal.
    static std::string Redraw(const std::string &table, size_t previousLines);
    /// Sum of a stream's drops over every reason.
    static uint64_t TotalDrops(const TfDropCounts &drops);
};

} // namespace orvane::cli
