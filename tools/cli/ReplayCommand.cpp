// SPDX-License-Identifier: Apache-2.0
// `orvane-cli replay FILE`: reads a recording back, one line per frame set, paced or flat out.
#include "ReplayCommand.h"

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "CliContext.h"
#include "ExitCodes.h"
#include "Interrupt.h"
#include "RawFrameWriter.h"
#include "RecordingReader.h"
#include "StreamChoice.h"

namespace orvane::cli {
namespace {

using Clock = std::chrono::steady_clock;

std::string SetLine(uint64_t ordinal, double atSeconds, const record::FrameSet &set)
{
    char text[128];
    std::snprintf(text, sizeof text, "set %llu +%.3f s:", static_cast<unsigned long long>(ordinal),
                  atSeconds);
    std::string line = text;
    for (const record::RecordedFrame &frame : set.frames) {
        std::snprintf(text, sizeof text, " %s #%u %ux%u", StreamChoice::NameOf(frame.frameType).c_str(),
                      frame.frameIndex, frame.width, frame.height);
        line += text;
    }
    return line;
}

} // namespace

void ReplayCommand::Register(CLI::App &app)
{
    app.add_option("FILE", file, "the recording to play")->required()->check(CLI::ExistingFile);
    app.add_option("--to-dir", toDir,
                   "write each frame as a raw file with a JSON sidecar into this directory");
    app.add_option("--rate", rate, "speed against the recording (2: twice as fast; 0: as fast as it reads)")
        ->check(CLI::Range(0.0, 1e6));
}

nlohmann::json ReplayCommand::FrameRecord(const record::RecordedFrame &frame)
{
    return {{"stream", StreamChoice::NameOf(frame.frameType)},
            {"frameType", frame.frameType},
            {"frameIndex", frame.frameIndex},
            {"pixelFormat", frame.pixelFormat},
            {"width", frame.width},
            {"height", frame.height},
            {"depthRange", frame.depthRange},
            {"exposureTime", frame.exposureTime},
            {"imuFrameNo", frame.imuFrameNo},
            {"timestamp", frame.timestamp},
            {"hostTimeNs", frame.hostTimeNs},
            {"bytes", frame.pixels.size()}};
}

bool ReplayCommand::WriteFrameFiles(const std::string &dir, const std::string &stem,
                                    const record::RecordedFrame &frame, const nlohmann::json &camera,
                                    std::string &error)
{
    TfFrame delivered{};
    delivered.frameIndex = frame.frameIndex;
    delivered.frameType = frame.frameType;
    delivered.pixelFormat = frame.pixelFormat;
    delivered.imuFrameNo = frame.imuFrameNo;
    delivered.pFrameData = const_cast<uint8_t *>(frame.pixels.data());
    delivered.dataLen = static_cast<uint32_t>(frame.pixels.size());
    delivered.exposureTime = frame.exposureTime;
    delivered.depthRange = frame.depthRange;
    delivered.width = frame.width;
    delivered.height = frame.height;
    delivered.timestamp = frame.timestamp;
    const std::string base = dir + "/" + stem;
    return RawFrameWriter::Write(base + ".raw", base + ".json", delivered, camera, error);
}

int ReplayCommand::Run(CliContext &context)
{
    CliOutput &out = context.Out();
    record::RecordingReader reader;
    if (!reader.Open(file)) {
        out.Message("replay: " + file + ": " + reader.GetError());
        return kExitUsage;
    }
    std::error_code made;
    if (!toDir.empty() && !std::filesystem::create_directories(toDir, made) && made) {
        out.Message("replay: cannot create " + toDir + ": " + made.message());
        return kExitUsage;
    }
    const nlohmann::json camera = reader.GetHeader().value("camera", nlohmann::json::object());
    const Clock::time_point start = Clock::now();
    uint64_t firstHostNs = 0;
    uint64_t ordinal = 0;
    record::FrameSet set;
    record::ReadResult result;
    for (result = reader.Next(set); result.status == record::ReadStatus::kFrameSet;
         result = reader.Next(set)) {
        const uint64_t hostNs = set.frames.empty() ? firstHostNs : set.frames.front().hostTimeNs;
        firstHostNs = ordinal == 0 ? hostNs : firstHostNs;
        const double atSeconds = static_cast<double>(hostNs - firstHostNs) / 1e9;
        if (rate > 0) {
            const auto due = start + std::chrono::duration_cast<Clock::duration>(
                                         std::chrono::duration<double>(atSeconds / rate));
            if (Interrupt::WaitFor(
                    std::chrono::duration_cast<std::chrono::milliseconds>(due - Clock::now()))) {
                break;
            }
        }
        nlohmann::json frames = nlohmann::json::array();
        for (const record::RecordedFrame &frame : set.frames) {
            frames.push_back(FrameRecord(frame));
            std::string error;
            char stem[64];
            std::snprintf(stem, sizeof stem, "set%06llu-%s", static_cast<unsigned long long>(ordinal),
                          StreamChoice::NameOf(frame.frameType).c_str());
            if (!toDir.empty() && !WriteFrameFiles(toDir, stem, frame, camera, error)) {
                out.Message("replay: " + error);
                return kExitUsage;
            }
        }
        out.Emit({{"set", ordinal}, {"offset", result.offset}, {"seconds", atSeconds}, {"frames", frames}},
                 SetLine(ordinal, atSeconds, set));
        ++ordinal;
        if (Interrupt::Requested()) {
            break;
        }
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    const bool interrupted = Interrupt::Requested();
    const char *end = interrupted                                     ? "interrupted"
                      : result.status == record::ReadStatus::kEnd     ? "end"
                      : result.status == record::ReadStatus::kCut     ? "cut"
                      : result.status == record::ReadStatus::kCorrupt ? "corrupt"
                                                                      : "interrupted";
    nlohmann::json summary = {{"frameSets", ordinal}, {"end", end}, {"elapsedSeconds", elapsed}};
    std::string line = std::to_string(ordinal) + " frame sets in " + std::to_string(elapsed) + " s";
    if (!interrupted && result.status != record::ReadStatus::kEnd) {
        summary["endOffset"] = result.offset;
        summary["reason"] = result.message;
        out.Message("replay: the recording is " + std::string(end) + " at byte " +
                    std::to_string(result.offset) + ": " + result.message);
    }
    out.Emit({{"summary", summary}}, line);
    if (interrupted) {
        return kExitInterrupted;
    }
    return result.status == record::ReadStatus::kCorrupt ? kExitUsage : kExitOk;
}

} // namespace orvane::cli
