// SPDX-License-Identifier: Apache-2.0
// `orvane-cli record FILE`: opens the camera, streams, and pushes every frame set to the recording writer.
#include "RecordCommand.h"

#include <chrono>
#include <cstdio>

#include "CliContext.h"
#include "ExitCodes.h"
#include "Interrupt.h"
#include "RawRecordRunner.h"
#include "RecordingHeader.h"

namespace orvane::cli {
namespace {

using Clock = std::chrono::steady_clock;

nlohmann::json DropCounts(const TfDropCounts &c)
{
    return {{"queueFull", c.queueFull},
            {"setIncomplete", c.setIncomplete},
            {"decodeError", c.decodeError},
            {"bufferRefused", c.bufferRefused},
            {"colorLate", c.colorLate}};
}

} // namespace

void RecordCommand::Register(CLI::App &app)
{
    app.add_option("FILE", file, "the recording to write")->required();
    app.add_option("-t,--time", seconds, "seconds to record (0: until Ctrl-C)")->check(CLI::Range(0.0, 1e7));
    CLI::Option *chosen =
        app.add_option("--streams", streams, "the streams to record: depth, ir, confidence, color")
            ->delimiter(',')
            ->check(StreamChoice::Names());
    CLI::Option *compressed = app.add_flag("--zstd", zstd, "compress each record with zstd");
    CLI::Option *level = app.add_option("--zstd-level", zstdLevel, "zstd level (implies --zstd)")
                             ->check(CLI::Range(-7, 19))
                             ->each([this](const std::string &) { zstd = true; });
    CLI::Option *queue =
        app.add_option("--queue", queueDepth, "frame sets that may wait for the disk before one is dropped")
            ->check(CLI::Range(1, 1000));
    // The raw buffers are written by the library as they come: none of the frame options applies.
    app.add_flag("--raw", raw,
                 "write the camera's stream buffers exactly as received (for orvane-camsim --replay)")
        ->excludes(chosen)
        ->excludes(compressed)
        ->excludes(level)
        ->excludes(queue);
}

void RecordCommand::TakeFrames(const FrameCapture &capture, const std::vector<const StreamKind *> &kinds,
                               uint64_t hostTimeNs, record::FrameSet &set)
{
    size_t used = 0;
    for (const StreamKind *kind : kinds) {
        const CapturedFrame *captured = capture.Find(kind->type);
        if (captured == nullptr) {
            continue;
        }
        if (used == set.frames.size()) {
            set.frames.emplace_back();
        }
        const TfFrame &frame = captured->frame;
        record::RecordedFrame &r = set.frames[used++];
        r.frameIndex = frame.frameIndex;
        r.frameType = frame.frameType;
        r.pixelFormat = frame.pixelFormat;
        r.imuFrameNo = frame.imuFrameNo;
        r.width = frame.width;
        r.height = frame.height;
        r.depthRange = frame.depthRange;
        r.exposureTime = frame.exposureTime;
        r.timestamp = frame.timestamp;
        r.hostTimeNs = hostTimeNs;
        r.pixels.assign(frame.pFrameData,
                        frame.pFrameData + (frame.pFrameData != nullptr ? frame.dataLen : 0));
    }
    set.frames.resize(used);
}

int RecordCommand::Run(CliContext &context)
{
    if (raw) {
        return RawRecordRunner(file, seconds).Run(context);
    }
    CliOutput &out = context.Out();
    const std::vector<const StreamKind *> kinds = StreamChoice::Ordered(streams);
    if (zstd && !record::ZstdCodec::IsAvailable()) {
        out.Message("record: this build has no zstd; record without --zstd");
        return kExitUsage;
    }
    if (const int code = context.OpenCamera(streams); code != kExitOk) {
        return code;
    }
    CameraScope &camera = context.Camera();
    const int level = zstd ? zstdLevel : 0;
    record::RecordingWriter writer({queueDepth, level});
    // A camera's text that is not UTF-8 (an alias, say) is replaced rather than thrown on.
    const std::string header = RecordingHeader::Describe(camera, kinds, level)
                                   .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    if (!writer.Open(file, header)) {
        out.Message("record: " + writer.GetError());
        return kExitUsage;
    }
    if (const int status = camera.StartStream(); status != TF_OK) {
        writer.Close();
        return context.Fail("TFCM_StartStream", status);
    }
    out.Verbose(1, "recording to " + file);
    const Clock::time_point start = Clock::now();
    const auto limit = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    int failure = TF_OK;
    FrameCapture capture(camera.Handle(), FrameCapture::Pixels::Borrow);
    while (!Interrupt::Requested() && (seconds == 0 || Clock::now() - start < limit)) {
        const int status = capture.ReadNext();
        if (status == TF_ERROR_FRAME_TIMEOUT) {
            continue;
        }
        if (status != TF_OK) {
            failure = status;
            break;
        }
        const auto hostNs =
            std::chrono::duration_cast<std::chrono::nanoseconds>(capture.ArrivedAt().time_since_epoch());
        record::FrameSet set = writer.TakeSpare();
        TakeFrames(capture, kinds, static_cast<uint64_t>(hostNs.count()), set);
        if (!set.frames.empty()) {
            writer.Push(std::move(set));
        }
        if (!writer.GetError().empty()) {
            break;
        }
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    camera.StopStream();
    const bool closed = writer.Close();
    Summary(context, writer.GetStats(), elapsed);
    if (!closed) {
        out.Message("record: " + writer.GetError());
        return kExitUsage;
    }
    if (failure != TF_OK) {
        return context.Fail("TFCM_ReadNextFrame", failure);
    }
    return Interrupt::Requested() ? kExitInterrupted : kExitOk;
}

void RecordCommand::Summary(CliContext &context, const record::RecordingWriterStats &stats,
                            double elapsedSeconds)
{
    nlohmann::json summary = {{"file", file},
                              {"seconds", elapsedSeconds},
                              {"frameSetsWritten", stats.frameSetsWritten},
                              {"frameSetsDropped", stats.frameSetsDropped},
                              {"bytesIn", stats.bytesIn},
                              {"bytesOut", stats.bytesOut}};
    TfDropCounters counters{};
    int32_t size = sizeof counters;
    const bool haveCounters =
        TFCM_GetProperty(context.Camera().Handle(), TF_PROPERTY_EXT_DROP_COUNTERS, &counters, &size) == TF_OK;
    if (haveCounters) {
        summary["library"] = {{"tof", DropCounts(counters.tof)},
                              {"color", DropCounts(counters.color)},
                              {"tofDelivered", counters.tofDelivered},
                              {"colorDelivered", counters.colorDelivered}};
    }
    char text[512];
    std::snprintf(
        text, sizeof text,
        "%s: %llu frame sets written, %llu dropped by the writer queue in %.1f s (%.1f MB, %.1f MB on disk)",
        file.c_str(), static_cast<unsigned long long>(stats.frameSetsWritten),
        static_cast<unsigned long long>(stats.frameSetsDropped), elapsedSeconds,
        static_cast<double>(stats.bytesIn) / 1e6, static_cast<double>(stats.bytesOut) / 1e6);
    std::string line = text;
    if (haveCounters) {
        const TfDropCounts &t = counters.tof;
        const TfDropCounts &c = counters.color;
        std::snprintf(
            text, sizeof text,
            "\nlibrary drops: ToF %llu (queue %llu, incomplete %llu, decode %llu, refused %llu), colour %llu "
            "(queue %llu, incomplete %llu, decode %llu, refused %llu, late %llu)",
            static_cast<unsigned long long>(t.queueFull + t.setIncomplete + t.decodeError + t.bufferRefused),
            static_cast<unsigned long long>(t.queueFull), static_cast<unsigned long long>(t.setIncomplete),
            static_cast<unsigned long long>(t.decodeError), static_cast<unsigned long long>(t.bufferRefused),
            static_cast<unsigned long long>(c.queueFull + c.setIncomplete + c.decodeError + c.bufferRefused +
                                            c.colorLate),
            static_cast<unsigned long long>(c.queueFull), static_cast<unsigned long long>(c.setIncomplete),
            static_cast<unsigned long long>(c.decodeError), static_cast<unsigned long long>(c.bufferRefused),
            static_cast<unsigned long long>(c.colorLate));
        line += text;
    }
    context.Out().Emit(summary, line);
}

} // namespace orvane::cli
