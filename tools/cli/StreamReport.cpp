// SPDX-License-Identifier: Apache-2.0
// How `stream` shows its statistics: a table redrawn in place on a terminal, one line per report
// otherwise, or one JSON record per report.
#include "StreamReport.h"

#include <cmath>
#include <cstdio>

namespace orvane::cli {
namespace {

/// `value` to `decimals` places: the double nearest the decimal, so JSON shows it short.
double Rounded(double value, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    return std::round(value * scale) / scale;
}

/// Drop reasons that are not zero, as "queueFull 3, colorLate 1", or "0".
std::string DropText(const TfDropCounts &d)
{
    const std::pair<const char *, uint64_t> reasons[] = {{"queueFull", d.queueFull},
                                                         {"setIncomplete", d.setIncomplete},
                                                         {"decodeError", d.decodeError},
                                                         {"bufferRefused", d.bufferRefused},
                                                         {"colorLate", d.colorLate}};
    std::string text;
    for (const auto &[name, count] : reasons) {
        if (count != 0) {
            text += (text.empty() ? "" : ", ") + std::string(name) + " " + std::to_string(count);
        }
    }
    return text.empty() ? "0" : text;
}

std::string LatencyText(const StreamSnapshot &s)
{
    if (s.latencySamples == 0) {
        return "-";
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.2f/%.2f", s.latencyMedianMs, s.latencyP99Ms);
    return text;
}

} // namespace

uint64_t StreamReport::TotalDrops(const TfDropCounts &d)
{
    return d.queueFull + d.setIncomplete + d.decodeError + d.bufferRefused + d.colorLate;
}

nlohmann::json StreamReport::Record(double elapsedS, const std::vector<StreamRow> &rows, bool final)
{
    nlohmann::json streams = nlohmann::json::object();
    for (const StreamRow &row : rows) {
        const StreamSnapshot &s = row.stats;
        nlohmann::json stream = {{"fps", Rounded(s.fps, 2)},
                                 {"frames", s.frames},
                                 {"gaps", s.gaps},
                                 {"duplicates", s.duplicates},
                                 {"reordered", s.reordered},
                                 {"restarts", s.restarts},
                                 {"drops",
                                  {{"queueFull", row.drops.queueFull},
                                   {"setIncomplete", row.drops.setIncomplete},
                                   {"decodeError", row.drops.decodeError},
                                   {"bufferRefused", row.drops.bufferRefused},
                                   {"colorLate", row.drops.colorLate}}}};
        if (s.latencySamples > 0) {
            stream["latencyMs"] = {{"median", Rounded(s.latencyMedianMs, 3)},
                                   {"p99", Rounded(s.latencyP99Ms, 3)}};
        }
        streams[row.name] = std::move(stream);
    }
    return {{"elapsed", Rounded(elapsedS, 3)}, {"final", final}, {"streams", std::move(streams)}};
}

std::string StreamReport::Line(double elapsedS, const std::vector<StreamRow> &rows)
{
    char head[32];
    std::snprintf(head, sizeof head, "%7.1f s", elapsedS);
    std::string line = head;
    for (const StreamRow &row : rows) {
        char part[160];
        std::snprintf(part, sizeof part, "  %s %.1f fps %llu frames %llu gaps, drops %s, latency %s ms",
                      row.name.c_str(), row.stats.fps, static_cast<unsigned long long>(row.stats.frames),
                      static_cast<unsigned long long>(row.stats.gaps), DropText(row.drops).c_str(),
                      LatencyText(row.stats).c_str());
        line += part;
    }
    return line;
}

std::string StreamReport::Table(double elapsedS, const std::vector<StreamRow> &rows)
{
    char line[256];
    std::snprintf(line, sizeof line, "streaming for %.0f s\n%-11s %7s %9s %6s %6s %6s  %-15s  %s\n", elapsedS,
                  "STREAM", "FPS", "FRAMES", "GAPS", "DUPS", "LATE", "LATENCY MS", "LIBRARY DROPS");
    std::string table = line;
    for (const StreamRow &row : rows) {
        const StreamSnapshot &s = row.stats;
        std::snprintf(line, sizeof line, "%-11s %7.1f %9llu %6llu %6llu %6llu  %-15s  %s\n", row.name.c_str(),
                      s.fps, static_cast<unsigned long long>(s.frames),
                      static_cast<unsigned long long>(s.gaps), static_cast<unsigned long long>(s.duplicates),
                      static_cast<unsigned long long>(s.reordered), LatencyText(s).c_str(),
                      DropText(row.drops).c_str());
        table += line;
    }
    return table;
}

std::string StreamReport::Redraw(const std::string &table, size_t previousLines)
{
    // Up to the first line of the previous table, then each line cleared before it is written.
    std::string out = previousLines > 0 ? "\x1b[" + std::to_string(previousLines) + "F" : std::string();
    size_t start = 0;
    for (size_t end = table.find('\n'); end != std::string::npos; end = table.find('\n', start)) {
        out += "\x1b[2K" + table.substr(start, end + 1 - start);
        start = end + 1;
    }
    return out;
}

} // namespace orvane::cli
