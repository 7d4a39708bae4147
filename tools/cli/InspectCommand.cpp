// SPDX-License-Identifier: Apache-2.0
// `orvane-cli inspect FILE`: reads every record of a recording and summarises them.
#include "InspectCommand.h"

#include <cstdio>
#include <map>

#include "CliContext.h"
#include "ExitCodes.h"
#include "RecordingReader.h"
#include "StreamChoice.h"

namespace orvane::cli {
namespace {

struct StreamTally
{
    uint64_t frames = 0;
    uint32_t firstIndex = 0;
    uint32_t lastIndex = 0;
};

/// The summary's lines in text mode.
std::string SummaryText(const nlohmann::json &s)
{
    char text[256];
    std::snprintf(
        text, sizeof text, "frame sets: %llu over %.3f s, %llu bytes in the file, compression %.2f:1",
        static_cast<unsigned long long>(s["frameSets"].get<uint64_t>()), s["durationSeconds"].get<double>(),
        static_cast<unsigned long long>(s["fileBytes"].get<uint64_t>()), s["compressionRatio"].get<double>());
    std::string out = text;
    for (const auto &[name, tally] : s["streams"].items()) {
        std::snprintf(text, sizeof text, "\n  %-10s %8llu frames, index %u to %u", name.c_str(),
                      static_cast<unsigned long long>(tally["frames"].get<uint64_t>()),
                      tally["firstIndex"].get<uint32_t>(), tally["lastIndex"].get<uint32_t>());
        out += text;
    }
    if (s["end"] == "end") {
        return out + "\nends after its last record";
    }
    return out + "\nends " + s["end"].get<std::string>() + " at byte " +
           std::to_string(s["endOffset"].get<uint64_t>()) + " (" +
           std::to_string(s["bytesAfterLastRecord"].get<uint64_t>()) +
           " bytes after the last whole record): " + s["reason"].get<std::string>();
}

} // namespace

void InspectCommand::Register(CLI::App &app)
{
    app.add_option("FILE", file, "the recording")->required()->check(CLI::ExistingFile);
}

int InspectCommand::Run(CliContext &context)
{
    CliOutput &out = context.Out();
    record::RecordingReader reader;
    if (!reader.Open(file)) {
        out.Message("inspect: " + file + ": " + reader.GetError());
        return kExitUsage;
    }
    std::map<std::string, StreamTally> streams;
    uint64_t sets = 0;
    uint64_t storedBytes = 0;
    uint64_t bodyBytes = 0;
    uint64_t firstHostNs = 0;
    uint64_t lastHostNs = 0;
    record::FrameSet set;
    record::ReadResult result;
    for (result = reader.Next(set); result.status == record::ReadStatus::kFrameSet;
         result = reader.Next(set)) {
        storedBytes += result.storedBytes;
        bodyBytes += result.bodyBytes;
        for (const record::RecordedFrame &frame : set.frames) {
            StreamTally &tally = streams[StreamChoice::NameOf(frame.frameType)];
            tally.firstIndex = tally.frames == 0 ? frame.frameIndex : tally.firstIndex;
            tally.lastIndex = frame.frameIndex;
            ++tally.frames;
            firstHostNs = sets == 0 && &frame == &set.frames.front() ? frame.hostTimeNs : firstHostNs;
            lastHostNs = frame.hostTimeNs;
        }
        ++sets;
    }
    nlohmann::json summary = {
        {"frameSets", sets},
        {"fileBytes", reader.GetFileBytes()},
        {"durationSeconds", static_cast<double>(lastHostNs - firstHostNs) / 1e9},
        {"compressionRatio", storedBytes == 0 ? 1.0 : static_cast<double>(bodyBytes) / storedBytes},
        {"streams", nlohmann::json::object()}};
    for (const auto &[name, tally] : streams) {
        summary["streams"][name] = {
            {"frames", tally.frames}, {"firstIndex", tally.firstIndex}, {"lastIndex", tally.lastIndex}};
    }
    const bool whole = result.status == record::ReadStatus::kEnd;
    summary["end"] = whole ? "end" : result.status == record::ReadStatus::kCut ? "cut" : "corrupt";
    if (!whole) {
        summary["endOffset"] = result.offset;
        summary["bytesAfterLastRecord"] = reader.GetFileBytes() - result.offset;
        summary["reason"] = result.message;
    }
    out.Emit({{"header", reader.GetHeader()}, {"summary", summary}},
             reader.GetHeader().dump(2) + "\n" + SummaryText(summary));
    return result.status == record::ReadStatus::kCorrupt ? kExitUsage : kExitOk;
}

} // namespace orvane::cli
